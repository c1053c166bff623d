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
 * without regard to case (Unicode case folding). A hash index from folded key to element is kept
 * in step with the ordered list so keyed lookup, Exists and Add are O(1) on average; Remove is
 * linear because the list closes its gap anyway.
 */
template <typename T> class TQXSet
{
public:
    using Ptr = std::shared_ptr<T>;

    struct Entry
    {
        Ptr item;
        QString key; // empty when the element was added without a key
    };

    qsizetype count() const { return m_entries.size(); }

    /// Appends the element; refuses (returns false) when the key is already present.
    bool append(Ptr item, const QString& key)
    {
        if (key.isEmpty()) {
            m_entries.push_back(Entry{std::move(item), QString()});
            return true;
        }
        const TQXKey k{key};
        if (m_index.contains(k))
            return false;
        m_index.insert(k, item);
        m_entries.push_back(Entry{std::move(item), key});
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
        if (key.isEmpty() || m_index.isEmpty())
            return nullptr;
        return m_index.value(TQXKey{key});
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
        if (!e.key.isEmpty())
            m_index.remove(TQXKey{e.key});
        m_entries.removeAt(position - 1);
        return true;
    }

    bool removeKey(const QString& key)
    {
        if (key.isEmpty())
            return false;
        const TQXKey k{key};
        const auto hit = m_index.constFind(k);
        if (hit == m_index.constEnd())
            return false;
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].item == hit.value())
                return removeAt(i + 1);
        }
        return false;
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
    }

    const QList<Entry>& entries() const { return m_entries; }

    void reserve(qsizetype n) { m_entries.reserve(n); }

private:
    QList<Entry> m_entries;
    QHash<TQXKey, Ptr> m_index;
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
