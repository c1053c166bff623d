#pragma once

#include "TQXCols.h"

/// One row; its column set is shared, and created empty on the first read of Cols().
class STAVELIN_EXPORT TQXRow
{
public:
    const QString& Key() const { return m_key; }
    void SetKey(const QString& v) { m_key = v; }
    const QString& Name() const { return m_name; }
    void SetName(const QString& v) { m_name = v; }
    const QString& Tag() const { return m_tag; }
    void SetTag(const QString& v) { m_tag = v; }

    /// The row's columns; a fresh empty set is created and kept when none is held.
    const TQXColsPtr& Cols() const;
    /// Stores the reference without copying; a null reference makes the next read create a new set.
    void SetCols(TQXColsPtr cols) { m_cols = std::move(cols); }

private:
    QString m_key;
    QString m_name;
    QString m_tag;
    mutable TQXColsPtr m_cols;
};

using TQXRowPtr = std::shared_ptr<TQXRow>;
