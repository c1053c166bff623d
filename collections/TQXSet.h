#pragma once

#include "TQXValue.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <type_traits>

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
        QString foldedKey; // empty when the element was added without a key
    };

    qsizetype count() const { return m_entries.size(); }

    /// Appends the element; refuses (returns false) when the key is already present.
    bool append(Ptr item, const QString& key)
    {
        if (key.isEmpty()) {
            m_entries.push_back(Entry{std::move(item), QString()});
            return true;
        }
        QString folded = key.toCaseFolded();
        if (m_index.contains(folded))
            return false;
        m_index.insert(folded, item);
        m_entries.push_back(Entry{std::move(item), std::move(folded)});
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
        return m_index.value(key.toCaseFolded());
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
        if (!e.foldedKey.isEmpty())
            m_index.remove(e.foldedKey);
        m_entries.removeAt(position - 1);
        return true;
    }

    bool removeKey(const QString& key)
    {
        if (key.isEmpty())
            return false;
        const QString folded = key.toCaseFolded();
        if (!m_index.contains(folded))
            return false;
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].foldedKey == folded)
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
        m_index = QHash<QString, Ptr>();
    }

    const QList<Entry>& entries() const { return m_entries; }

    void reserve(qsizetype n) { m_entries.reserve(n); }

private:
    QList<Entry> m_entries;
    QHash<QString, Ptr> m_index;
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
