#pragma once

#include "TQXCols.h"
#include "TQXRareTexts.h"

/**
 * One row; its column set is shared, and created empty on the first read of Cols().
 *
 * A row is almost always a key and its columns: the name and tag live in a part of their own,
 * allocated the first time one of them is set to a non-empty text. Copies are deep.
 */
class STAVELIN_EXPORT TQXRow
{
public:
    const QString& Key() const { return m_key; }
    void SetKey(const QString& v) { m_key = v; }
    const QString& Name() const { return m_rare.Name(); }
    void SetName(const QString& v) { m_rare.SetName(v); }
    const QString& Tag() const { return m_rare.Tag(); }
    void SetTag(const QString& v) { m_rare.SetTag(v); }

    /// The row's columns; a fresh empty set is created and kept when none is held.
    const TQXColsPtr& Cols() const;
    /// Stores the reference without copying; a null reference makes the next read create a new set.
    void SetCols(TQXColsPtr cols) { m_cols = std::move(cols); }

private:
    QString m_key;
    mutable TQXColsPtr m_cols;
    TQXRareTexts m_rare;
};

using TQXRowPtr = std::shared_ptr<TQXRow>;
