#pragma once

#include "TQXRow.h"

/**
 * @brief An ordered set of shared row references, optionally keyed (keys ignore case).
 *
 * Same rules as TQXCols. Add shares the column set it is given; CopyRow and Copy copy deeply.
 */
class STAVELIN_EXPORT TQXRows
{
public:
    using iterator = TQXIterator<TQXRow>;

    static std::shared_ptr<TQXRows> Create() { return std::make_shared<TQXRows>(); }

    int Count() const { return static_cast<int>(m_set.count()); }

    TQXRowPtr Item(const TQXValue& indexKey) const { return m_set.lookup(indexKey); }
    TQXRowPtr Item(qsizetype position) const { return m_set.at(position); }
    TQXRowPtr Item(int position) const { return m_set.at(position); }
    TQXRowPtr Item(const QString& key) const { return m_set.find(key); }
    TQXRowPtr Item(const char* key) const { return m_set.find(QString::fromUtf8(key)); }

    bool Exists(const TQXValue& indexKey) const { return m_set.lookup(indexKey) != nullptr; }
    bool Exists(int position) const { return m_set.at(position) != nullptr; }
    bool Exists(const QString& key) const { return m_set.find(key) != nullptr; }
    bool Exists(const char* key) const { return Exists(QString::fromUtf8(key)); }

    bool Remove(const TQXValue& indexKey) { return m_set.remove(indexKey); }
    bool Remove(int position) { return m_set.removeAt(position); }
    bool Remove(const QString& key) { return m_set.removeKey(key); }
    bool Remove(const char* key) { return m_set.removeKey(QString::fromUtf8(key)); }

    const QString& Tag() const { return m_tag; }
    void SetTag(const QString& v) { m_tag = v; }

    /// Appends a row sharing the given column set; a null reference when the key is taken.
    TQXRowPtr Add(const TQXColsPtr& cols, const QString& key = QString(), const QString& name = QString(),
                  const QString& tag = QString());
    /// Appends an existing row reference (shared); false when the key is taken.
    bool AddRef(const TQXRowPtr& row, const QString& key);

    bool Clear();
    /// Appends a deep copy of every row of the source (each through CopyRow).
    bool Copy(const std::shared_ptr<TQXRows>& source);
    /// Appends one deep copy of the row; a refused key drops it silently and still returns true.
    bool CopyRow(const TQXRowPtr& row);

    /// Opens the collection viewer on this set, modally, when a window library has registered one
    /// (TQXShow); false otherwise. The viewer only reads the set.
    bool Show() const;

    void Reserve(qsizetype n) { m_set.reserve(n); }

    iterator begin() const { return iterator(m_set.entries().cbegin()); }
    iterator end() const { return iterator(m_set.entries().cend()); }

private:
    TQXSet<TQXRow> m_set;
    QString m_tag;
};

using TQXRowsPtr = std::shared_ptr<TQXRows>;
