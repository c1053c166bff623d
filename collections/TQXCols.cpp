#include "TQXCols.h"

#include "TQXRows.h"

#include <stdexcept>
#include <vector>

TQXColPtr TQXCols::Add(const TQXValue& value, const QString& key, const QString& name, const QString& dataType,
                       const QString& tag)
{
    TQXColPtr col;
    const bool fromBlock = m_blockUsed < m_blockSize;
    if (fromBlock)
        col = TQXColPtr(m_block, &m_block[m_blockUsed++]);
    else
        col = std::make_shared<TQXCol>();
    col->SetValue(value);
    col->SetKey(key);
    col->SetName(name);
    col->SetDataType(dataType);
    col->SetTag(tag);
    if (!m_set.append(col, key)) {
        if (fromBlock) {
            // Nobody else saw it: the slot is free again.
            *col = TQXCol();
            --m_blockUsed;
        }
        return nullptr;
    }
    return col;
}

void TQXCols::Reserve(qsizetype n)
{
    m_set.reserve(n);
    const qsizetype wanted = n - m_set.count();
    if (wanted <= m_blockSize - m_blockUsed)
        return;
    m_block = std::make_shared<TQXCol[]>(static_cast<size_t>(wanted));
    m_blockSize = wanted;
    m_blockUsed = 0;
}

bool TQXCols::AddRef(const TQXColPtr& col, const QString& key)
{
    if (!col)
        return false;
    return m_set.append(col, key);
}

bool TQXCols::Clear()
{
    m_set.clear();
    m_block.reset();
    m_blockSize = 0;
    m_blockUsed = 0;
    return true;
}

bool TQXCols::Copy(const std::shared_ptr<TQXCols>& source)
{
    if (!source)
        throw std::invalid_argument("TQXCols::Copy: the source column set is null");
    // Snapshot first: copying a set into itself must terminate.
    std::vector<TQXColPtr> snapshot;
    snapshot.reserve(static_cast<size_t>(source->Count()));
    for (const TQXColPtr& c : *source)
        snapshot.push_back(c);
    Reserve(m_set.count() + static_cast<qsizetype>(snapshot.size()));

    for (const TQXColPtr& c : snapshot) {
        const TQXValue& v = c->Value();
        TQXValue copy;
        if (auto rows = v.rows()) {
            auto nested = TQXRows::Create();
            nested->Copy(rows);
            nested->SetTag(rows->Tag());
            copy = TQXValue(nested);
        } else if (auto cols = v.cols()) {
            auto nested = TQXCols::Create();
            nested->Copy(cols);
            nested->SetTag(cols->Tag());
            copy = TQXValue(nested);
        } else {
            copy = v; // scalars are copied, other objects shared
        }
        Add(copy, c->Key(), c->Name(), c->DataType(), c->Tag());
    }
    return true;
}

QString TQXCols::Text(const QString& key) const
{
    const TQXColPtr c = m_set.find(key);
    return c ? c->Value().ToText() : QString();
}
