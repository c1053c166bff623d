#include "TQXRow.h"

const TQXColsPtr& TQXRow::Cols() const
{
    if (!m_cols)
        m_cols = TQXCols::Create();
    return m_cols;
}
