#pragma once

#include "TQXRareTexts.h"
#include "TQXValue.h"

#include <memory>

/**
 * One named value. Assigning a scalar stores a copy; assigning an object stores the reference.
 *
 * Almost every column is a key and a value: the name, data type and tag live in a part of their
 * own, allocated the first time one of them is set to a non-empty text, so a plain column costs
 * only its key and value. Copies are deep (the copy gets its own such part).
 */
class STAVELIN_EXPORT TQXCol
{
public:
    const QString& Key() const { return m_key; }
    void SetKey(const QString& v) { m_key = v; }
    const QString& Name() const { return m_rare.Name(); }
    void SetName(const QString& v) { m_rare.SetName(v); }
    const QString& DataType() const { return m_rare.DataType(); }
    void SetDataType(const QString& v) { m_rare.SetDataType(v); }
    const QString& Tag() const { return m_rare.Tag(); }
    void SetTag(const QString& v) { m_rare.SetTag(v); }

    const TQXValue& Value() const { return m_value; }
    void SetValue(TQXValue v) { m_value = std::move(v); }

private:
    QString m_key;
    TQXValue m_value;
    TQXRareTexts m_rare;
};

using TQXColPtr = std::shared_ptr<TQXCol>;
