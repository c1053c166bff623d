#include "TQXRows.h"

#include <stdexcept>
#include <vector>

TQXRowPtr TQXRows::Add(const TQXColsPtr& cols, const QString& key, const QString& name, const QString& tag)
{
    auto row = std::make_shared<TQXRow>();
    row->SetCols(cols);
    row->SetKey(key);
    row->SetName(name);
    row->SetTag(tag);
    if (!m_set.append(row, key))
        return nullptr;
    return row;
}

bool TQXRows::AddRef(const TQXRowPtr& row, const QString& key)
{
    if (!row)
        return false;
    return m_set.append(row, key);
}

bool TQXRows::Clear()
{
    m_set.clear();
    return true;
}

bool TQXRows::Copy(const std::shared_ptr<TQXRows>& source)
{
    if (!source)
        throw std::invalid_argument("TQXRows::Copy: the source row set is null");
    // Snapshot first: copying a set into itself must terminate.
    std::vector<TQXRowPtr> snapshot;
    snapshot.reserve(static_cast<size_t>(source->Count()));
    for (const TQXRowPtr& r : *source)
        snapshot.push_back(r);
    m_set.reserve(m_set.count() + static_cast<qsizetype>(snapshot.size()));
    for (const TQXRowPtr& r : snapshot)
        CopyRow(r);
    return true;
}

bool TQXRows::CopyRow(const TQXRowPtr& row)
{
    if (!row)
        throw std::invalid_argument("TQXRows::CopyRow: the source row is null");
    auto cols = TQXCols::Create();
    cols->Copy(row->Cols());
    Add(cols, row->Key(), row->Name(), row->Tag());
    return true;
}
