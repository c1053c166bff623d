#pragma once

#include "TQXValue.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <type_traits>

/**
 * A key compared without regard to case (Unicode simple case folding). Hashing and comparing fold
 * character by character, so adding and looking up allocate nothing beyond the shared key text.
 */
struct TQXKey
{
    QString text;

    bool operator==(const TQXKey& other) const
    {
        return text.size() == other.text.size() && text.compare(other.text, Qt::CaseInsensitive) == 0;
    }
};

inline size_t qHash(const TQXKey& key, size_t seed = 0) noexcept
{
    // FNV-1a over the case-folded code points, mixed with the seed.
    size_t h = 1469598103934665603ULL ^ seed;
    const QChar* p = key.text.constData();
    const QChar* const end = p + key.text.size();
    while (p < end) {
        char32_t c = p->unicode();
        if (c < 0x80) {
            if (c >= 'A' && c <= 'Z')
                c |= 0x20;
        } else {
            if (p->isHighSurrogate() && p + 1 < end && (p + 1)->isLowSurrogate()) {
                c = QChar::surrogateToUcs4(*p, *(p + 1));
                ++p;
            }
            c = QChar::toCaseFolded(c);
        }
        ++p;
        h = (h ^ c) * 1099511628211ULL;
    }
    return h;
}

/**
 * The ordered, optionally keyed container behind TQXCols and TQXRows.
 *
 * Order is insertion order and positions are 1-based. Keys are optional, unique and compared
 * without regard to case (Unicode case folding). Each entry keeps its key's folded hash. A small set
 * (most rows of a model have a few dozen columns) is searched by comparing those hashes in order,
 * which needs no allocation; once a set holds more than kLinearKeys keys, a hash index from folded
 * key to element is built and kept in step with the ordered list, so keyed lookup, Exists and Add
 * stay O(1) on average. Remove is linear because the list closes its gap anyway.
 */
template <typename T> class TQXSet
{
public:
    using Ptr = std::shared_ptr<T>;

    struct Entry
    {
        Ptr item;
        QString key;     // empty when the element was added without a key
        size_t hash = 0; // qHash of the key (folded), when there is one
    };

    static constexpr qsizetype kLinearKeys = 32;

    qsizetype count() const { return m_entries.size(); }

    /// Appends the element; refuses (returns false) when the key is already present.
    bool append(Ptr item, const QString& key)
    {
        if (key.isEmpty()) {
            m_entries.push_back(Entry{std::move(item), QString(), 0});
            return true;
        }
        const TQXKey k{key};
        const size_t h = qHash(k);
        if (m_indexed) {
            if (m_index.contains(k))
                return false;
            m_index.insert(k, item);
        } else if (linearFind(k, h) >= 0) {
            return false;
        }
        m_entries.push_back(Entry{std::move(item), key, h});
        if (!m_indexed && ++m_keys > kLinearKeys)
            buildIndex();
        return true;
    }

    Ptr at(qsizetype position) const
    {
        if (position < 1 || position > m_entries.size())
            return nullptr;
        return m_entries[position - 1].item;
    }

    Ptr find(const QString& key) const
    {
        if (key.isEmpty())
            return nullptr;
        const TQXKey k{key};
        if (m_indexed)
            return m_index.value(k);
        const qsizetype i = linearFind(k, qHash(k));
        return i < 0 ? nullptr : m_entries[i].item;
    }

    /// A numeric argument selects a position, a text argument always selects a key.
    Ptr lookup(const TQXValue& indexKey) const
    {
        switch (indexKey.type()) {
        case TQXValue::Type::Integer:
        case TQXValue::Type::Double:
        case TQXValue::Type::Boolean:
            return at(static_cast<qsizetype>(indexKey.toInteger()));
        case TQXValue::Type::Text:
            return find(*indexKey.textPtr());
        default:
            return nullptr;
        }
    }

    bool removeAt(qsizetype position)
    {
        if (position < 1 || position > m_entries.size())
            return false;
        const Entry& e = m_entries[position - 1];
        if (!e.key.isEmpty()) {
            if (m_indexed)
                m_index.remove(TQXKey{e.key});
            else
                --m_keys;
        }
        m_entries.removeAt(position - 1);
        return true;
    }

    bool removeKey(const QString& key)
    {
        if (key.isEmpty())
            return false;
        const TQXKey k{key};
        const qsizetype i = linearFind(k, qHash(k));
        return i >= 0 && removeAt(i + 1);
    }

    bool remove(const TQXValue& indexKey)
    {
        switch (indexKey.type()) {
        case TQXValue::Type::Integer:
        case TQXValue::Type::Double:
        case TQXValue::Type::Boolean:
            return removeAt(static_cast<qsizetype>(indexKey.toInteger()));
        case TQXValue::Type::Text:
            return removeKey(*indexKey.textPtr());
        default:
            return false;
        }
    }

    void clear()
    {
        m_entries = QList<Entry>();
        m_index = QHash<TQXKey, Ptr>();
        m_indexed = false;
        m_keys = 0;
    }

    const QList<Entry>& entries() const { return m_entries; }

    void reserve(qsizetype n) { m_entries.reserve(n); }

private:
    /// The position (0-based) of the entry holding the key, or -1.
    qsizetype linearFind(const TQXKey& k, size_t h) const
    {
        const qsizetype n = m_entries.size();
        const Entry* e = m_entries.constData();
        for (qsizetype i = 0; i < n; ++i) {
            if (e[i].hash == h && !e[i].key.isEmpty() && TQXKey{e[i].key} == k)
                return i;
        }
        return -1;
    }

    void buildIndex()
    {
        m_index.reserve(m_entries.size() * 2);
        for (const Entry& e : m_entries) {
            if (!e.key.isEmpty())
                m_index.insert(TQXKey{e.key}, e.item);
        }
        m_indexed = true;
    }

    QList<Entry> m_entries;
    QHash<TQXKey, Ptr> m_index; // built once the set holds more than kLinearKeys keys
    bool m_indexed = false;
    qsizetype m_keys = 0; // keys held while there is no index
};

/// Iterates the elements of a set in order, yielding shared references.
template <typename T> class TQXIterator
{
public:
    using Inner = typename QList<typename TQXSet<T>::Entry>::const_iterator;
    using value_type = std::shared_ptr<T>;
    using difference_type = std::ptrdiff_t;

    TQXIterator() = default;
    explicit TQXIterator(Inner it) : m_it(it) {}
    const std::shared_ptr<T>& operator*() const { return m_it->item; }
    TQXIterator& operator++()
    {
        ++m_it;
        return *this;
    }
    TQXIterator operator++(int)
    {
        TQXIterator old = *this;
        ++m_it;
        return old;
    }
    bool operator==(const TQXIterator& other) const = default;

private:
    Inner m_it;
};
