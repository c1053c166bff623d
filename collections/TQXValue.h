#pragma once

#include "StavelinExport.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>
#include <variant>

class TQXRows;
class TQXCols;

/// Base for any other object a column value may refer to (shared, never copied by Copy).
class STAVELIN_EXPORT TQXObject
{
public:
    virtual ~TQXObject();
};

/**
 * @brief The variant a column carries: empty, null, boolean, integer, double, date, text, or a
 * shared reference to a row set, a column set or another object.
 *
 * Scalars are stored by value; objects by shared reference, so two columns may refer to one set.
 * ToText() turns any scalar into text the way VBScript's CStr does, independent of the locale.
 */
class STAVELIN_EXPORT TQXValue
{
public:
    enum class Type { Empty, Null, Boolean, Integer, Double, Date, Text, Rows, Cols, Object };
    struct NullTag
    {
        bool operator==(const NullTag&) const = default;
    };

    TQXValue() = default;
    TQXValue(NullTag) : m_data(NullTag{}) {}
    TQXValue(bool v) : m_data(v) {}
    TQXValue(int v) : m_data(static_cast<std::int64_t>(v)) {}
    TQXValue(std::int64_t v) : m_data(v) {}
    TQXValue(double v) : m_data(v) {}
    TQXValue(const QDateTime& v) : m_data(v) {}
    TQXValue(const QString& v) : m_data(v) {}
    TQXValue(QString&& v) : m_data(std::move(v)) {}
    TQXValue(const char* v) : m_data(QString::fromUtf8(v)) {}
    TQXValue(std::shared_ptr<TQXRows> v) : m_data(std::move(v)) {}
    TQXValue(std::shared_ptr<TQXCols> v) : m_data(std::move(v)) {}
    TQXValue(std::shared_ptr<TQXObject> v) : m_data(std::move(v)) {}

    static TQXValue Null() { return TQXValue(NullTag{}); }

    Type type() const { return static_cast<Type>(m_data.index()); }
    bool isEmpty() const { return type() == Type::Empty; }
    bool isNull() const { return type() == Type::Null; }
    bool isText() const { return type() == Type::Text; }
    bool isNumber() const { return type() == Type::Integer || type() == Type::Double; }
    /// True when the value refers to an object (a row set, a column set or another object).
    bool isObject() const { return type() >= Type::Rows; }

    bool toBool() const;
    std::int64_t toInteger() const;
    double toDouble() const;
    QDateTime toDate() const;
    /// The text of a scalar as VBScript's CStr gives it ("True", "3", "2.5", "1/31/2020");
    /// empty and null give the empty text, an object gives the empty text.
    QString ToText() const;
    /// The stored text without conversion, or nullptr when the value is not text (hot path).
    const QString* textPtr() const { return std::get_if<QString>(&m_data); }

    std::shared_ptr<TQXRows> rows() const;
    std::shared_ptr<TQXCols> cols() const;
    std::shared_ptr<TQXObject> object() const;

    /// VBScript's text form of a double: up to `digits` significant digits (15 for a Double, 7 for
    /// a Single), trailing zeros dropped, exponent form such as "1E+20" or "1.5E-05".
    static QString FormatDouble(double v, int digits = 15);
    /// VBScript's en-US text form of a date: "1/31/2020", "3:04:05 PM" or both.
    static QString FormatDate(const QDateTime& v);

    bool operator==(const TQXValue& other) const = default;

private:
    std::variant<std::monostate, NullTag, bool, std::int64_t, double, QDateTime, QString, std::shared_ptr<TQXRows>,
                 std::shared_ptr<TQXCols>, std::shared_ptr<TQXObject>>
        m_data;
};
