#pragma once

#include "TQXCol.h"
#include "TQXSet.h"

/**
 * @brief An ordered set of shared column references, optionally keyed (keys ignore case).
 *
 * Single-threaded; not synchronised. Lookups by a missing key or an out-of-range position give a
 * null reference. Copy and the null-argument checks are the only members that throw
 * (std::invalid_argument for a null source); everything else reports through its result.
 */
class STAVELIN_EXPORT TQXCols
{
public:
    using iterator = TQXIterator<TQXCol>;

    static std::shared_ptr<TQXCols> Create() { return std::make_shared<TQXCols>(); }

    int Count() const { return static_cast<int>(m_set.count()); }

    TQXColPtr Item(const TQXValue& indexKey) const { return m_set.lookup(indexKey); }
    TQXColPtr Item(qsizetype position) const { return m_set.at(position); }
    TQXColPtr Item(int position) const { return m_set.at(position); }
    TQXColPtr Item(const QString& key) const { return m_set.find(key); }
    TQXColPtr Item(const char* key) const { return m_set.find(QString::fromUtf8(key)); }

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

    /// Appends a new column; a null reference when the key is already present (nothing added).
    TQXColPtr Add(const TQXValue& value, const QString& key = QString(), const QString& name = QString(),
                  const QString& dataType = QString(), const QString& tag = QString());
    /// Appends an existing column reference (shared, not copied); false when the key is taken.
    bool AddRef(const TQXColPtr& col, const QString& key);

    bool Clear();
    /// Appends deep copies of all columns of the source; nested row and column sets are copied
    /// deeply (with their Tag), other objects are shared. Colliding keys are skipped. Copying a
    /// set into itself appends one copy of what it held at the call.
    bool Copy(const std::shared_ptr<TQXCols>& source);

    /// Convenience for the many callers that want a column's value as text ("" when missing).
    QString Text(const QString& key) const;

    /// Opens the collection viewer on this set, modally, when a window library has registered one
    /// (TQXShow); false otherwise. The viewer only reads the set.
    bool Show() const;

    /// Room for n columns in all. The columns added next are made in one block (each stays an
    /// ordinary shared column; the block lives while any of them is held).
    void Reserve(qsizetype n);

    iterator begin() const { return iterator(m_set.entries().cbegin()); }
    iterator end() const { return iterator(m_set.entries().cend()); }

private:
    TQXSet<TQXCol> m_set;
    QString m_tag;
    std::shared_ptr<TQXCol[]> m_block; // columns made ahead by Reserve
    qsizetype m_blockSize = 0;
    qsizetype m_blockUsed = 0;
};

using TQXColsPtr = std::shared_ptr<TQXCols>;
