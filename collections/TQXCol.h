#pragma once

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
    TQXCol() = default;
    TQXCol(const TQXCol& other)
        : m_key(other.m_key), m_value(other.m_value), m_more(other.m_more ? new More(*other.m_more) : nullptr)
    {
    }
    TQXCol(TQXCol&&) noexcept = default;
    TQXCol& operator=(const TQXCol& other)
    {
        if (this != &other) {
            m_key = other.m_key;
            m_value = other.m_value;
            m_more.reset(other.m_more ? new More(*other.m_more) : nullptr);
        }
        return *this;
    }
    TQXCol& operator=(TQXCol&&) noexcept = default;
    ~TQXCol() = default;

    const QString& Key() const { return m_key; }
    void SetKey(const QString& v) { m_key = v; }
    const QString& Name() const { return m_more ? m_more->name : Empty(); }
    void SetName(const QString& v)
    {
        if (m_more || !v.isEmpty())
            More_().name = v;
    }
    const QString& DataType() const { return m_more ? m_more->dataType : Empty(); }
    void SetDataType(const QString& v)
    {
        if (m_more || !v.isEmpty())
            More_().dataType = v;
    }
    const QString& Tag() const { return m_more ? m_more->tag : Empty(); }
    void SetTag(const QString& v)
    {
        if (m_more || !v.isEmpty())
            More_().tag = v;
    }

    const TQXValue& Value() const { return m_value; }
    void SetValue(TQXValue v) { m_value = std::move(v); }

private:
    struct More
    {
        QString name;
        QString dataType;
        QString tag;
    };
    static const QString& Empty()
    {
        static const QString empty;
        return empty;
    }
    More& More_()
    {
        if (!m_more)
            m_more.reset(new More);
        return *m_more;
    }

    QString m_key;
    TQXValue m_value;
    std::unique_ptr<More> m_more;
};

using TQXColPtr = std::shared_ptr<TQXCol>;
