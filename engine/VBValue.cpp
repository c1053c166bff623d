#include "VBValue.h"

#include "TQXValue.h"
#include "VBDate.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

int VBValue::HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

VBValue VBValue::Single(double v)
{
    VBValue r;
    r.type = VBType::Single;
    r.d = static_cast<double>(static_cast<float>(v));
    return r;
}

VBValue VBValue::Double(double v)
{
    if (!std::isfinite(v))
        throw VBError(VBError::Overflow);
    VBValue r;
    r.type = VBType::Double;
    r.d = v;
    return r;
}

VBValue VBValue::Date(double serial)
{
    if (!std::isfinite(serial) || !VBDate::InRange(serial))
        throw VBError(VBError::Overflow);
    VBValue r;
    r.type = VBType::Date;
    r.d = serial;
    return r;
}

VBValue VBValue::String(QString v)
{
    VBValue r;
    r.type = VBType::String;
    r.s = std::move(v);
    return r;
}

VBValue VBValue::FromInteger(std::int64_t v)
{
    if (v >= -32768 && v <= 32767)
        return Integer(v);
    if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
        return Long(v);
    return Double(static_cast<double>(v));
}

bool VBValue::isNumeric() const
{
    switch (type) {
    case VBType::Boolean:
    case VBType::Byte:
    case VBType::Integer:
    case VBType::Long:
    case VBType::Single:
    case VBType::Double:
    case VBType::Currency:
    case VBType::Date:
        return true;
    default:
        return false;
    }
}

std::int64_t VBValue::CurrencyFromDouble(double v)
{
    // Whole and fractional part apart, so large whole numbers stay exact.
    const double whole = std::trunc(v);
    if (!(std::fabs(whole) <= 922337203685477.0))
        throw VBError(VBError::Overflow);
    const double frac = RoundEven((v - whole) * 10000.0);
    std::int64_t scaled = 0;
    if (__builtin_add_overflow(static_cast<std::int64_t>(whole) * 10000, static_cast<std::int64_t>(frac), &scaled))
        throw VBError(VBError::Overflow);
    return scaled;
}

double VBValue::RoundEven(double v)
{
    const double r = std::round(v);
    if (std::fabs(v - std::trunc(v)) == 0.5)
        return 2.0 * std::round(v / 2.0); // exactly halfway: to the even neighbour
    return r;
}

double VBValue::ToDouble() const
{
    switch (type) {
    case VBType::Empty:
        return 0.0;
    case VBType::Null:
        throw VBError(VBError::InvalidNull);
    case VBType::Boolean:
    case VBType::Byte:
    case VBType::Integer:
    case VBType::Long:
        return static_cast<double>(i);
    case VBType::Currency:
        return static_cast<double>(i) / 10000.0;
    case VBType::Single:
    case VBType::Double:
    case VBType::Date:
        return d;
    case VBType::String: {
        double v = 0.0;
        if (ParseNumber(s, v))
            return v;
        throw VBError(VBError::TypeMismatch);
    }
    default:
        throw VBError(VBError::TypeMismatch);
    }
}

std::int64_t VBValue::ToRange(std::int64_t lo, std::int64_t hi) const
{
    if (isIntegral() || type == VBType::Empty) {
        if (i < lo || i > hi)
            throw VBError(VBError::Overflow);
        return i;
    }
    const double v = RoundEven(ToDouble());
    if (!(v >= static_cast<double>(lo) && v <= static_cast<double>(hi)))
        throw VBError(VBError::Overflow);
    return static_cast<std::int64_t>(v);
}

std::int64_t VBValue::ToLong() const
{
    return ToRange(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
}

bool VBValue::ToBool() const
{
    switch (type) {
    case VBType::Empty:
        return false;
    case VBType::Null:
        throw VBError(VBError::InvalidNull);
    case VBType::String: {
        const QString t = s.trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        double v = 0.0;
        if (ParseNumber(s, v))
            return v != 0.0;
        throw VBError(VBError::TypeMismatch);
    }
    case VBType::Object:
        throw VBError(VBError::TypeMismatch);
    default:
        return ToDouble() != 0.0;
    }
}

double VBValue::ToDate() const
{
    switch (type) {
    case VBType::Date:
        return d;
    case VBType::Null:
        throw VBError(VBError::InvalidNull);
    case VBType::String: {
        double serial = 0.0;
        if (VBDate::Parse(s, serial))
            return serial;
        throw VBError(VBError::TypeMismatch);
    }
    case VBType::Object:
        throw VBError(VBError::TypeMismatch);
    default: {
        const double v = ToDouble();
        if (!VBDate::InRange(v))
            throw VBError(VBError::Overflow);
        return v;
    }
    }
}

QString VBValue::ToText() const
{
    switch (type) {
    case VBType::Empty:
        return QString();
    case VBType::Null:
        throw VBError(VBError::InvalidNull);
    case VBType::Boolean:
        return i ? QStringLiteral("True") : QStringLiteral("False");
    case VBType::Byte:
    case VBType::Integer:
    case VBType::Long:
        return QString::number(i);
    case VBType::Single:
        return FormatSingle(d);
    case VBType::Double:
        return FormatDouble(d);
    case VBType::Currency:
        return FormatCurrency(i);
    case VBType::Date:
        return VBDate::Format(d);
    case VBType::String:
        return s;
    default:
        throw VBError(VBError::TypeMismatch);
    }
}

QString VBValue::ToTextOrEmpty() const
{
    return type == VBType::Null ? QString() : ToText();
}

const char* VBValue::TypeName() const
{
    switch (type) {
    case VBType::Empty:
        return "Empty";
    case VBType::Null:
        return "Null";
    case VBType::Integer:
        return "Integer";
    case VBType::Long:
        return "Long";
    case VBType::Single:
        return "Single";
    case VBType::Double:
        return "Double";
    case VBType::Currency:
        return "Currency";
    case VBType::Date:
        return "Date";
    case VBType::String:
        return "String";
    case VBType::Object:
        return "Nothing";
    case VBType::Boolean:
        return "Boolean";
    case VBType::Byte:
        return "Byte";
    }
    return "Unknown";
}

bool VBValue::ParseNumber(QStringView text, double& out)
{
    qsizetype i = 0, n = text.size();
    auto isSpace = [&](qsizetype k) { return text.at(k) == u' ' || text.at(k) == u'\t'; };
    while (i < n && isSpace(i))
        ++i;
    while (n > i && isSpace(n - 1))
        --n;
    if (i >= n)
        return false;
    bool negative = false;
    if (text.at(i) == u'+' || text.at(i) == u'-') {
        negative = text.at(i) == u'-';
        ++i;
        while (i < n && isSpace(i))
            ++i;
    }
    if (i + 1 < n && text.at(i) == u'&') {
        // &H (hexadecimal) and &O (octal): up to 16 bits as an Integer, up to 32 bits as a Long.
        const QChar kind = text.at(i + 1).toUpper();
        const int base = kind == u'H' ? 16 : kind == u'O' ? 8 : 0;
        if (base == 0 || i + 2 >= n)
            return false;
        std::uint64_t v = 0;
        for (qsizetype k = i + 2; k < n; ++k) {
            const int digit = HexDigit(text.at(k));
            if (digit < 0 || digit >= base)
                return false;
            v = v * base + digit;
            if (v > 0xFFFFFFFFull)
                return false;
        }
        const double value = v <= 0xFFFF
                                 ? static_cast<double>(static_cast<std::int16_t>(v))
                                 : static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
        out = negative ? -value : value;
        return true;
    }
    std::string digits;
    digits.reserve(static_cast<size_t>(n - i + 1));
    bool anyDigit = false, point = false;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c >= '0' && c <= '9') {
            digits.push_back(static_cast<char>(c));
            anyDigit = true;
        } else if (c == ',' && anyDigit && !point) {
            continue; // thousands separator
        } else if (c == '.' && !point) {
            digits.push_back('.');
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return false;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E' || text.at(i) == u'd' || text.at(i) == u'D')) {
        digits.push_back('e');
        ++i;
        if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
            digits.push_back(static_cast<char>(text.at(i++).unicode()));
        bool expDigit = false;
        while (i < n && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9') {
            digits.push_back(static_cast<char>(text.at(i++).unicode()));
            expDigit = true;
        }
        if (!expDigit)
            return false;
    }
    if (i != n)
        return false;
    double v = 0.0;
    const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || !std::isfinite(v))
        return false;
    out = negative ? -v : v;
    return true;
}

QString VBValue::FormatDouble(double v)
{
    return TQXValue::FormatDouble(v);
}

QString VBValue::FormatSingle(double v)
{
    return TQXValue::FormatDouble(v, 7);
}

QString VBValue::FormatCurrency(std::int64_t scaled)
{
    const bool negative = scaled < 0;
    const std::uint64_t a = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    QString out = QString::number(a / 10000);
    std::uint64_t frac = a % 10000;
    if (frac != 0) {
        QString f = QString::number(frac).rightJustified(4, QLatin1Char('0'));
        while (f.endsWith(QLatin1Char('0')))
            f.chop(1);
        out += QLatin1Char('.') + f;
    }
    return negative ? QLatin1Char('-') + out : out;
}
