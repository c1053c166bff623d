#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <exception>

/// The Variant subtypes of the expression language, numbered as VarType reports them.
enum class VBType : int {
    Empty = 0,
    Null = 1,
    Integer = 2,
    Long = 3,
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    String = 8,
    Object = 9,
    Boolean = 11,
    Byte = 17
};

/// A run-time error of the expression language, carrying its error number. It never leaves the
/// evaluator: VBEvaluator turns every error into the empty text.
class VBError : public std::exception
{
public:
    enum Number {
        InvalidCall = 5,
        Overflow = 6,
        OutOfMemory = 7,
        DivisionByZero = 11,
        TypeMismatch = 13,
        InvalidNull = 94,
        ObjectRequired = 424,
        WrongArguments = 450
    };
    explicit VBError(Number number) : m_number(number) {}
    Number number() const { return m_number; }
    const char* what() const noexcept override { return "expression error"; }

private:
    Number m_number;
};

/**
 * @brief One Variant value of the expression language.
 *
 * Integers, Booleans (0 or -1) and Currency (scaled by 10000) live in `i`; Single, Double and Date
 * (the day number counted from 30 December 1899, time as the fraction) in `d`; text in `s`. The
 * only object is Nothing.
 *
 * `hard` marks a literal written in the expression (a number, a "string" or a #date#). VBScript
 * gives literals a fixed type in comparisons: a string literal compares as text against any
 * value, a numeric literal converts a text operand to a number. Values computed at run time are
 * plain Variants and follow the Variant rules (a number is less than any text).
 */
class VBValue
{
public:
    VBType type = VBType::Empty;
    bool hard = false;
    /// An argument left out of a call, as in FormatNumber(x, , 0): the function uses its default.
    bool missing = false;
    std::int64_t i = 0;
    double d = 0.0;
    QString s;

    static VBValue Empty() { return VBValue(); }
    static VBValue Null() { return Make(VBType::Null); }
    static VBValue Nothing() { return Make(VBType::Object); }
    static VBValue Boolean(bool v) { return MakeInt(VBType::Boolean, v ? -1 : 0); }
    static VBValue Byte(std::int64_t v) { return MakeInt(VBType::Byte, v); }
    static VBValue Integer(std::int64_t v) { return MakeInt(VBType::Integer, v); }
    static VBValue Long(std::int64_t v) { return MakeInt(VBType::Long, v); }
    /// Currency from its scaled value (units of 1/10000).
    static VBValue CurrencyScaled(std::int64_t v) { return MakeInt(VBType::Currency, v); }
    static VBValue Single(double v);
    static VBValue Double(double v);
    static VBValue Date(double serial);
    static VBValue String(QString v);

    /// The smallest integer subtype that holds v (Integer, Long), else Double.
    static VBValue FromInteger(std::int64_t v);

    bool isNull() const { return type == VBType::Null; }
    bool isEmpty() const { return type == VBType::Empty; }
    bool isString() const { return type == VBType::String; }
    bool isObject() const { return type == VBType::Object; }
    /// Boolean, Byte, Integer, Long, Single, Double, Currency or Date.
    bool isNumeric() const;
    bool isIntegral() const
    {
        return type == VBType::Boolean || type == VBType::Byte || type == VBType::Integer || type == VBType::Long;
    }

    // Conversions with the language's rules; they throw VBError where the language raises an error.
    double ToDouble() const;
    /// CLng: rounds half to even, Overflow outside the 32-bit range.
    std::int64_t ToLong() const;
    /// Rounds half to even into [lo, hi], Overflow outside.
    std::int64_t ToRange(std::int64_t lo, std::int64_t hi) const;
    bool ToBool() const;
    /// CDate: the day number; text is read as a date.
    double ToDate() const;
    /// CStr: Empty gives "", Null raises "Invalid use of Null".
    QString ToText() const;
    /// Like ToText, but Null gives the empty text (the & operator and text functions).
    QString ToTextOrEmpty() const;
    const char* TypeName() const;

    /// Reads a number from text as the language coerces text: spaces around it, a sign, digits
    /// with optional thousands commas, a decimal point, an exponent, or &H / &O notation.
    static bool ParseNumber(QStringView text, double& out);
    /// The text forms of numbers (locale-independent, en-US).
    static QString FormatDouble(double v);
    static QString FormatSingle(double v);
    static QString FormatCurrency(std::int64_t scaled);
    /// A number as Currency units (1/10000), rounded half to even; Overflow outside Currency's range.
    static std::int64_t CurrencyFromDouble(double v);
    /// Round half to even, the rounding of every conversion to a whole number.
    static double RoundEven(double v);
    /// The value of a hexadecimal digit, -1 for any other character.
    static int HexDigit(QChar c);

private:
    static VBValue Make(VBType t)
    {
        VBValue v;
        v.type = t;
        return v;
    }
    static VBValue MakeInt(VBType t, std::int64_t x)
    {
        VBValue v;
        v.type = t;
        v.i = x;
        return v;
    }
};
