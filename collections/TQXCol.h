#pragma once

#include "TQXValue.h"

#include <memory>

/// One named value. Assigning a scalar stores a copy; assigning an object stores the reference.
class STAVELIN_EXPORT TQXCol
{
public:
    const QString& Key() const { return m_key; }
    void SetKey(const QString& v) { m_key = v; }
    const QString& Name() const { return m_name; }
    void SetName(const QString& v) { m_name = v; }
    const QString& DataType() const { return m_dataType; }
    void SetDataType(const QString& v) { m_dataType = v; }
    const QString& Tag() const { return m_tag; }
    void SetTag(const QString& v) { m_tag = v; }

    const TQXValue& Value() const { return m_value; }
    void SetValue(TQXValue v) { m_value = std::move(v); }

private:
    QString m_key;
    QString m_name;
    QString m_dataType;
    QString m_tag;
    TQXValue m_value;
};

using TQXColPtr = std::shared_ptr<TQXCol>;
