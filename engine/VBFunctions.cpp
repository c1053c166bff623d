#include "VBFunctions.h"

#include "VBDate.h"

#include <QHash>

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

using Args = std::vector<VBValue>;

// Longest text a function may build; beyond it the language reports "Out of memory".
constexpr std::int64_t kMaxText = 1 << 26;

// Windows-1252, the code page of en-US, for Asc and Chr: the codes 128-159 and their characters.
constexpr std::array<char16_t, 32> kCp1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar charFromCode(std::int64_t code)
{
    if (code >= 128 && code < 160)
        return QChar(kCp1252High[static_cast<size_t>(code - 128)]);
    return QChar(static_cast<char16_t>(code));
}

std::int64_t codeFromChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128 || (u >= 160 && u < 256))
        return u;
    for (size_t k = 0; k < kCp1252High.size(); ++k) {
        if (kCp1252High[k] == u)
            return static_cast<std::int64_t>(128 + k);
    }
    return '?'; // not in the code page
}

bool anyNull(const Args& a)
{
    for (const VBValue& v : a) {
        if (v.isNull())
            return true;
    }
    return false;
}

/// Whether optional argument i was given (neither beyond the list nor left out between commas).
bool has(const Args& a, size_t i)
{
    return a.size() > i && !a[i].missing;
}

/// A whole-number argument (rounded half to even); Null raises "Invalid use of Null".
std::int64_t whole(const VBValue& v)
{
    return v.ToLong();
}

/// The comparison argument: 0 binary (the default), 1 text.
Qt::CaseSensitivity compareMode(const Args& a, size_t i)
{
    if (!has(a, i))
        return Qt::CaseSensitive;
    const std::int64_t mode = whole(a[i]);
    if (mode == 0)
        return Qt::CaseSensitive;
    if (mode == 1 || mode == 2)
        return Qt::CaseInsensitive;
    throw VBError(VBError::InvalidCall);
}

void checkLength(std::int64_t n)
{
    if (n < 0)
        throw VBError(VBError::InvalidCall);
    if (n > kMaxText)
        throw VBError(VBError::OutOfMemory);
}

VBValue text(QString s)
{
    return VBValue::String(std::move(s));
}

QString trimLeft(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i) == u' ')
        ++i;
    return s.mid(i);
}

QString trimRight(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ')
        --n;
    return s.left(n);
}

// ---- text functions -------------------------------------------------------------------------

VBValue fnLen(const Args& a)
{
    if (a[0].isNull())
        return VBValue::Null();
    return VBValue::Long(a[0].isString() ? a[0].s.size() : a[0].ToText().size());
}

/// Left and Right: the first or last n characters; a negative n is an invalid call, even for Null.
VBValue edge(const Args& a, bool fromLeft)
{
    const std::int64_t n = whole(a[1]);
    if (n < 0)
        throw VBError(VBError::InvalidCall);
    if (a[0].isNull())
        return VBValue::Null();
    const QString s = a[0].ToText();
    const auto count = static_cast<qsizetype>(std::min<std::int64_t>(n, kMaxText));
    return text(fromLeft ? s.left(count) : s.right(count));
}

VBValue fnLeft(const Args& a)
{
    return edge(a, true);
}

VBValue fnRight(const Args& a)
{
    return edge(a, false);
}

VBValue fnMid(const Args& a)
{
    const std::int64_t start = whole(a[1]);
    if (start < 1)
        throw VBError(VBError::InvalidCall);
    std::int64_t length = -1;
    if (has(a, 2)) {
        length = whole(a[2]);
        if (length < 0)
            throw VBError(VBError::InvalidCall);
    }
    if (a[0].isNull())
        return VBValue::Null();
    const QString s = a[0].ToText();
    if (start > s.size())
        return text(QString());
    return text(s.mid(static_cast<qsizetype>(start - 1),
                      length < 0 ? -1 : static_cast<qsizetype>(std::min<std::int64_t>(length, kMaxText))));
}

VBValue fnUCase(const Args& a)
{
    if (a[0].isNull())
        return VBValue::Null();
    QString s = a[0].ToText();
    for (QChar& c : s)
        c = c.toUpper(); // character by character: the length never changes
    return text(std::move(s));
}

VBValue fnLCase(const Args& a)
{
    if (a[0].isNull())
        return VBValue::Null();
    QString s = a[0].ToText();
    for (QChar& c : s)
        c = c.toLower();
    return text(std::move(s));
}

VBValue fnTrim(const Args& a)
{
    return a[0].isNull() ? VBValue::Null() : text(trimLeft(trimRight(a[0].ToText())));
}

VBValue fnLTrim(const Args& a)
{
    return a[0].isNull() ? VBValue::Null() : text(trimLeft(a[0].ToText()));
}

VBValue fnRTrim(const Args& a)
{
    return a[0].isNull() ? VBValue::Null() : text(trimRight(a[0].ToText()));
}

// Replace returns the text from `start` on (the part before it is dropped), with up to `count`
// occurrences of `find` replaced.
VBValue fnReplace(const Args& a)
{
    const QString source = a[0].ToText();
    const QString find = a[1].ToText();
    const QString with = a[2].ToText();
    const std::int64_t start = has(a, 3) ? whole(a[3]) : 1;
    const std::int64_t count = has(a, 4) ? whole(a[4]) : -1;
    const Qt::CaseSensitivity cs = compareMode(a, 5);
    if (start < 1 || count < -1)
        throw VBError(VBError::InvalidCall);
    if (start > source.size())
        return text(QString());
    const QString s = source.mid(static_cast<qsizetype>(start - 1));
    if (find.isEmpty() || count == 0)
        return text(s);
    QString out;
    qsizetype pos = 0;
    std::int64_t done = 0;
    while (count < 0 || done < count) {
        const qsizetype at = s.indexOf(find, pos, cs);
        if (at < 0)
            break;
        out += QStringView(s).mid(pos, at - pos);
        out += with;
        if (out.size() > kMaxText)
            throw VBError(VBError::OutOfMemory);
        pos = at + find.size();
        ++done;
    }
    out += QStringView(s).mid(pos);
    return text(std::move(out));
}

VBValue fnInStr(const Args& a)
{
    std::int64_t start = 1;
    size_t first = 0;
    if (a.size() >= 3) {
        start = whole(a[0]);
        if (start < 1)
            throw VBError(VBError::InvalidCall);
        first = 1;
    }
    const Qt::CaseSensitivity cs = compareMode(a, 3);
    const VBValue& s1 = a[first];
    const VBValue& s2 = a[first + 1];
    if (s1.isNull() || s2.isNull())
        return VBValue::Null();
    const QString t1 = s1.ToText();
    const QString t2 = s2.ToText();
    if (t1.isEmpty() || start > t1.size())
        return VBValue::Long(0);
    if (t2.isEmpty())
        return VBValue::Long(start);
    return VBValue::Long(t1.indexOf(t2, static_cast<qsizetype>(start - 1), cs) + 1);
}

VBValue fnInStrRev(const Args& a)
{
    std::int64_t start = has(a, 2) ? whole(a[2]) : -1;
    if (start == 0 || start < -1)
        throw VBError(VBError::InvalidCall);
    const Qt::CaseSensitivity cs = compareMode(a, 3);
    if (a[0].isNull() || a[1].isNull())
        return VBValue::Null();
    const QString t1 = a[0].ToText();
    const QString t2 = a[1].ToText();
    if (t1.isEmpty())
        return VBValue::Long(0);
    if (start == -1)
        start = t1.size();
    if (start > t1.size())
        return VBValue::Long(0);
    if (t2.isEmpty())
        return VBValue::Long(start);
    const std::int64_t from = start - t2.size();
    if (from < 0)
        return VBValue::Long(0);
    return VBValue::Long(t1.lastIndexOf(t2, static_cast<qsizetype>(from), cs) + 1);
}

VBValue fnSpace(const Args& a)
{
    const std::int64_t n = whole(a[0]);
    checkLength(n);
    return text(QString(static_cast<qsizetype>(n), u' '));
}

VBValue fnString(const Args& a)
{
    if (anyNull(a))
        return VBValue::Null();
    const std::int64_t n = whole(a[0]);
    checkLength(n);
    QChar c;
    if (a[1].isString()) {
        if (a[1].s.isEmpty())
            throw VBError(VBError::InvalidCall);
        c = a[1].s.at(0);
    } else {
        const std::int64_t code = whole(a[1]);
        c = charFromCode(((code % 256) + 256) % 256);
    }
    return text(QString(static_cast<qsizetype>(n), c));
}

VBValue fnStrReverse(const Args& a)
{
    QString s = a[0].ToText();
    std::reverse(s.begin(), s.end());
    return text(std::move(s));
}

VBValue fnStrComp(const Args& a)
{
    const Qt::CaseSensitivity cs = compareMode(a, 2);
    if (a[0].isNull() || a[1].isNull())
        return VBValue::Null();
    const int c = QStringView(a[0].ToText()).compare(QStringView(a[1].ToText()), cs);
    return VBValue::Integer(c < 0 ? -1 : c > 0 ? 1 : 0);
}

VBValue fnAsc(const Args& a)
{
    const QString s = a[0].ToText();
    if (s.isEmpty())
        throw VBError(VBError::InvalidCall);
    return VBValue::Integer(codeFromChar(s.at(0)));
}

VBValue fnAscW(const Args& a)
{
    const QString s = a[0].ToText();
    if (s.isEmpty())
        throw VBError(VBError::InvalidCall);
    return VBValue::Integer(static_cast<std::int16_t>(s.at(0).unicode()));
}

VBValue fnChr(const Args& a)
{
    const std::int64_t code = whole(a[0]);
    if (code < 0 || code > 255)
        throw VBError(VBError::InvalidCall);
    return text(QString(charFromCode(code)));
}

VBValue fnChrW(const Args& a)
{
    const std::int64_t code = whole(a[0]);
    if (code < -32768 || code > 65535)
        throw VBError(VBError::InvalidCall);
    return text(QString(QChar(static_cast<char16_t>(code & 0xFFFF))));
}

// ---- conversions ----------------------------------------------------------------------------

VBValue fnCStr(const Args& a)
{
    return text(a[0].ToText());
}

VBValue fnCInt(const Args& a)
{
    return VBValue::Integer(a[0].ToRange(-32768, 32767));
}

VBValue fnCLng(const Args& a)
{
    return VBValue::Long(a[0].ToLong());
}

VBValue fnCByte(const Args& a)
{
    return VBValue::Byte(a[0].ToRange(0, 255));
}

VBValue fnCSng(const Args& a)
{
    const double d = a[0].ToDouble();
    if (std::fabs(d) > FLT_MAX)
        throw VBError(VBError::Overflow);
    return VBValue::Single(d);
}

VBValue fnCDbl(const Args& a)
{
    return VBValue::Double(a[0].ToDouble());
}

VBValue fnCCur(const Args& a)
{
    if (a[0].type == VBType::Currency)
        return VBValue::CurrencyScaled(a[0].i);
    if (a[0].isIntegral() || a[0].isEmpty()) {
        if (a[0].i > 922337203685477 || a[0].i < -922337203685477)
            throw VBError(VBError::Overflow);
        return VBValue::CurrencyScaled(a[0].i * 10000);
    }
    return VBValue::CurrencyScaled(VBValue::CurrencyFromDouble(a[0].ToDouble()));
}

VBValue fnCBool(const Args& a)
{
    return VBValue::Boolean(a[0].ToBool());
}

VBValue fnCDate(const Args& a)
{
    return VBValue::Date(a[0].ToDate());
}

VBValue radix(const Args& a, int base)
{
    const VBValue& v = a[0];
    if (v.isNull())
        return VBValue::Null();
    std::uint64_t bits = 0;
    switch (v.type) {
    case VBType::Empty:
        bits = 0;
        break;
    case VBType::Byte:
        bits = static_cast<std::uint64_t>(v.i);
        break;
    case VBType::Boolean:
    case VBType::Integer:
        bits = static_cast<std::uint16_t>(v.i);
        break;
    default:
        bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(v.ToLong()));
        break;
    }
    return text(QString::number(bits, base).toUpper());
}

VBValue fnHex(const Args& a)
{
    return radix(a, 16);
}

VBValue fnOct(const Args& a)
{
    return radix(a, 8);
}

// ---- math -----------------------------------------------------------------------------------

template <typename F> VBValue wholePart(const VBValue& v, F op)
{
    switch (v.type) {
    case VBType::Null:
        return VBValue::Null();
    case VBType::Empty:
        return VBValue::Integer(0);
    case VBType::Boolean:
        return VBValue::Integer(v.i);
    case VBType::Byte:
    case VBType::Integer:
    case VBType::Long:
        return v;
    case VBType::Single:
        return VBValue::Single(op(v.d));
    case VBType::Currency:
        return VBValue::CurrencyScaled(static_cast<std::int64_t>(op(static_cast<double>(v.i) / 10000.0)) * 10000);
    case VBType::Date:
        return VBValue::Date(op(v.d));
    default:
        return VBValue::Double(op(v.ToDouble()));
    }
}

VBValue fnInt(const Args& a)
{
    return wholePart(a[0], [](double d) { return std::floor(d); });
}

VBValue fnFix(const Args& a)
{
    return wholePart(a[0], [](double d) { return std::trunc(d); });
}

double roundDigits(double v, std::int64_t digits)
{
    if (digits == 0)
        return VBValue::RoundEven(v);
    const double p = std::pow(10.0, static_cast<double>(digits));
    const double scaled = v * p;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4.5e15)
        return v; // already finer than the digits asked for
    return VBValue::RoundEven(scaled) / p;
}

// Round uses banker's rounding: halves go to the even neighbour (Round(2.5) is 2).
VBValue fnRound(const Args& a)
{
    const std::int64_t digits = has(a, 1) ? whole(a[1]) : 0;
    if (digits < 0)
        throw VBError(VBError::InvalidCall);
    const VBValue& v = a[0];
    if (v.type == VBType::Currency) {
        if (digits >= 4)
            return v;
        const double step = std::pow(10.0, static_cast<double>(4 - digits));
        return VBValue::CurrencyScaled(
            static_cast<std::int64_t>(VBValue::RoundEven(static_cast<double>(v.i) / step) * step));
    }
    return wholePart(v, [digits](double d) { return roundDigits(d, digits); });
}

VBValue fnAbs(const Args& a)
{
    const VBValue& v = a[0];
    switch (v.type) {
    case VBType::Null:
        return VBValue::Null();
    case VBType::Empty:
        return VBValue::Integer(0);
    case VBType::Boolean:
    case VBType::Integer:
        return VBValue::FromInteger(std::llabs(v.i));
    case VBType::Byte:
        return v;
    case VBType::Long:
        return v.i == std::numeric_limits<std::int32_t>::min() ? VBValue::Double(2147483648.0)
                                                               : VBValue::Long(std::llabs(v.i));
    case VBType::Single:
        return VBValue::Single(std::fabs(v.d));
    case VBType::Currency:
        if (v.i == std::numeric_limits<std::int64_t>::min())
            throw VBError(VBError::Overflow);
        return VBValue::CurrencyScaled(std::llabs(v.i));
    default:
        return VBValue::Double(std::fabs(v.ToDouble()));
    }
}

VBValue fnSgn(const Args& a)
{
    if (a[0].isNull())
        return VBValue::Null();
    const double d = a[0].ToDouble();
    return VBValue::Integer(d < 0 ? -1 : d > 0 ? 1 : 0);
}

template <typename F> VBValue math(const Args& a, F f)
{
    if (a[0].isNull())
        return VBValue::Null();
    return VBValue::Double(f(a[0].ToDouble()));
}

VBValue fnSqr(const Args& a)
{
    return math(a, [](double d) {
        if (d < 0)
            throw VBError(VBError::InvalidCall);
        return std::sqrt(d);
    });
}

VBValue fnExp(const Args& a)
{
    return math(a, [](double d) { return std::exp(d); });
}

VBValue fnLog(const Args& a)
{
    return math(a, [](double d) {
        if (d <= 0)
            throw VBError(VBError::InvalidCall);
        return std::log(d);
    });
}

VBValue fnSin(const Args& a)
{
    return math(a, [](double d) { return std::sin(d); });
}

VBValue fnCos(const Args& a)
{
    return math(a, [](double d) { return std::cos(d); });
}

VBValue fnTan(const Args& a)
{
    return math(a, [](double d) { return std::tan(d); });
}

VBValue fnAtn(const Args& a)
{
    return math(a, [](double d) { return std::atan(d); });
}

// ---- inspection -----------------------------------------------------------------------------

VBValue fnIsNumeric(const Args& a)
{
    const VBValue& v = a[0];
    if (v.isString()) {
        double d = 0.0;
        return VBValue::Boolean(VBValue::ParseNumber(v.s, d));
    }
    return VBValue::Boolean(v.isEmpty() || (v.isNumeric() && v.type != VBType::Date));
}

VBValue fnIsDate(const Args& a)
{
    const VBValue& v = a[0];
    if (v.type == VBType::Date)
        return VBValue::Boolean(true);
    if (v.isString()) {
        double serial = 0.0;
        return VBValue::Boolean(VBDate::Parse(v.s, serial));
    }
    return VBValue::Boolean(false);
}

VBValue fnIsEmpty(const Args& a)
{
    return VBValue::Boolean(a[0].isEmpty());
}

VBValue fnIsNull(const Args& a)
{
    return VBValue::Boolean(a[0].isNull());
}

VBValue fnIsObject(const Args& a)
{
    return VBValue::Boolean(a[0].isObject());
}

VBValue fnIsArray(const Args&)
{
    return VBValue::Boolean(false);
}

VBValue fnTypeName(const Args& a)
{
    return text(QString::fromLatin1(a[0].TypeName()));
}

VBValue fnVarType(const Args& a)
{
    return VBValue::Integer(static_cast<int>(a[0].type));
}

// ---- dates ----------------------------------------------------------------------------------

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

struct DateParts
{
    QDate date;
    int seconds;
    std::int64_t day() const { return VBDate::kZero.daysTo(date); }
    std::int64_t totalSeconds() const { return day() * 86400 + seconds; }
};

DateParts parts(const VBValue& v)
{
    DateParts p;
    VBDate::ToParts(v.ToDate(), p.date, p.seconds);
    return p;
}

VBValue dateOf(const QDate& date, std::int64_t seconds)
{
    if (!date.isValid() || date.year() < 100 || date.year() > 9999)
        throw VBError(VBError::InvalidCall);
    return VBValue::Date(VBDate::FromParts(date, seconds));
}

VBValue fromTotalSeconds(std::int64_t total)
{
    const std::int64_t day = floorDiv(total, 86400);
    return dateOf(VBDate::kZero.addDays(day), total - day * 86400);
}

/// An optional date setting from 0 to `max`, where 0 (the system setting) and a missing argument
/// both mean 1; anything else is invalid.
int dateSetting(const Args& a, size_t i, int max)
{
    if (!has(a, i))
        return 1;
    const std::int64_t v = whole(a[i]);
    if (v < 0 || v > max)
        throw VBError(VBError::InvalidCall);
    return v == 0 ? 1 : static_cast<int>(v);
}

/// The first day of the week: 1 (vbSunday) to 7.
int firstDayOfWeek(const Args& a, size_t i)
{
    return dateSetting(a, i, 7);
}

/// The day of the week with Sunday as 1.
int sundayBased(const QDate& d)
{
    return d.dayOfWeek() % 7 + 1;
}

int weekday(const QDate& d, int first)
{
    return (sundayBased(d) - first + 7) % 7 + 1;
}

QDate weekStart(const QDate& d, int first)
{
    return d.addDays(1 - weekday(d, first));
}

QDate firstWeekStart(int year, int first, int rule)
{
    const QDate jan1(year, 1, 1);
    const QDate start = weekStart(jan1, first);
    if (rule == 2) // the first week with at least four days in the new year
        return jan1.daysTo(start.addDays(7)) >= 4 ? start : start.addDays(7);
    if (rule == 3) // the first full week
        return start == jan1 ? start : start.addDays(7);
    return start; // the week of 1 January
}

int weekOfYear(const QDate& d, int first, int rule)
{
    const QDate start = firstWeekStart(d.year(), first, rule);
    if (d < start)
        return static_cast<int>(firstWeekStart(d.year() - 1, first, rule).daysTo(weekStart(d, first)) / 7 + 1);
    return static_cast<int>(start.daysTo(weekStart(d, first)) / 7 + 1);
}

/// The first week of the year: 1 (the week of 1 January) to 3 (the first full week).
int firstWeekRule(const Args& a, size_t i)
{
    return dateSetting(a, i, 3);
}

VBValue fnDateValue(const Args& a)
{
    if (a[0].isNull())
        return VBValue::Null();
    QDate date;
    int seconds = 0;
    VBDate::ToParts(a[0].ToDate(), date, seconds);
    return dateOf(date, 0);
}

VBValue fnTimeValue(const Args& a)
{
    if (a[0].isNull())
        return VBValue::Null();
    QDate date;
    int seconds = 0;
    VBDate::ToParts(a[0].ToDate(), date, seconds);
    return VBValue::Date(VBDate::FromParts(VBDate::kZero, seconds));
}

VBValue fnNow(const Args&)
{
    return VBValue::Date(VBDate::Now());
}

VBValue fnDate(const Args&)
{
    return VBValue::Date(std::floor(VBDate::Now()));
}

VBValue fnTime(const Args&)
{
    const double now = VBDate::Now();
    return VBValue::Date(now - std::floor(now));
}

VBValue fnTimer(const Args&)
{
    const double now = VBDate::Now();
    return VBValue::Single(std::round((now - std::floor(now)) * 86400.0));
}

template <typename F> VBValue datePart(const Args& a, F f)
{
    if (a[0].isNull())
        return VBValue::Null();
    return VBValue::Integer(f(parts(a[0])));
}

VBValue fnYear(const Args& a)
{
    return datePart(a, [](const DateParts& p) { return p.date.year(); });
}

VBValue fnMonth(const Args& a)
{
    return datePart(a, [](const DateParts& p) { return p.date.month(); });
}

VBValue fnDay(const Args& a)
{
    return datePart(a, [](const DateParts& p) { return p.date.day(); });
}

VBValue fnHour(const Args& a)
{
    return datePart(a, [](const DateParts& p) { return p.seconds / 3600; });
}

VBValue fnMinute(const Args& a)
{
    return datePart(a, [](const DateParts& p) { return p.seconds / 60 % 60; });
}

VBValue fnSecond(const Args& a)
{
    return datePart(a, [](const DateParts& p) { return p.seconds % 60; });
}

VBValue fnWeekday(const Args& a)
{
    const int first = firstDayOfWeek(a, 1);
    if (a[0].isNull())
        return VBValue::Null();
    return VBValue::Integer(weekday(parts(a[0]).date, first));
}

// DateSerial normalises out-of-range months and days (month 13 is January of the next year, day 0
// the last day of the previous month); two-digit years are read as 1930-2029.
VBValue fnDateSerial(const Args& a)
{
    const std::int64_t y = VBDate::ExpandYear(static_cast<int>(a[0].ToRange(-32768, 32767)));
    const std::int64_t m = a[1].ToRange(-32768, 32767);
    const std::int64_t d = a[2].ToRange(-32768, 32767);
    const std::int64_t months = y * 12 + (m - 1);
    const std::int64_t year = floorDiv(months, 12);
    const int month = static_cast<int>(months - year * 12) + 1;
    if (year < 100 || year > 9999)
        throw VBError(VBError::InvalidCall);
    return dateOf(QDate(static_cast<int>(year), month, 1).addDays(d - 1), 0);
}

VBValue fnTimeSerial(const Args& a)
{
    const std::int64_t h = a[0].ToRange(-32768, 32767);
    const std::int64_t m = a[1].ToRange(-32768, 32767);
    const std::int64_t s = a[2].ToRange(-32768, 32767);
    return fromTotalSeconds(h * 3600 + m * 60 + s);
}

VBValue fnDateAdd(const Args& a)
{
    const QString interval = a[0].ToText().toLower();
    if (a[1].isNull() || a[2].isNull())
        return VBValue::Null();
    const double amount = VBValue::RoundEven(a[1].ToDouble());
    if (std::fabs(amount) > 1e9)
        throw VBError(VBError::InvalidCall);
    const std::int64_t n = static_cast<std::int64_t>(amount);
    const DateParts p = parts(a[2]);
    if (interval == u"yyyy" || interval == u"q" || interval == u"m") {
        const std::int64_t months = interval == u"yyyy" ? n * 12 : interval == u"q" ? n * 3 : n;
        if (std::llabs(months) > 200000)
            throw VBError(VBError::InvalidCall);
        return dateOf(p.date.addMonths(static_cast<int>(months)), p.seconds);
    }
    if (interval == u"y" || interval == u"d" || interval == u"w")
        return dateOf(p.date.addDays(n), p.seconds);
    if (interval == u"ww")
        return dateOf(p.date.addDays(n * 7), p.seconds);
    if (interval == u"h")
        return fromTotalSeconds(p.totalSeconds() + n * 3600);
    if (interval == u"n")
        return fromTotalSeconds(p.totalSeconds() + n * 60);
    if (interval == u"s")
        return fromTotalSeconds(p.totalSeconds() + n);
    throw VBError(VBError::InvalidCall);
}

// DateDiff counts the boundaries of the interval crossed between the two dates.
VBValue fnDateDiff(const Args& a)
{
    const QString interval = a[0].ToText().toLower();
    const int first = firstDayOfWeek(a, 3);
    firstWeekRule(a, 4);
    if (a[1].isNull() || a[2].isNull())
        return VBValue::Null();
    const DateParts p = parts(a[1]);
    const DateParts q = parts(a[2]);
    std::int64_t r = 0;
    if (interval == u"yyyy")
        r = q.date.year() - p.date.year();
    else if (interval == u"q")
        r = (q.date.year() * 4 + (q.date.month() - 1) / 3) - (p.date.year() * 4 + (p.date.month() - 1) / 3);
    else if (interval == u"m")
        r = (q.date.year() * 12 + q.date.month()) - (p.date.year() * 12 + p.date.month());
    else if (interval == u"y" || interval == u"d")
        r = q.day() - p.day();
    else if (interval == u"w")
        r = (q.day() - p.day()) / 7;
    else if (interval == u"ww")
        r = weekStart(p.date, first).daysTo(weekStart(q.date, first)) / 7;
    else if (interval == u"h")
        r = floorDiv(q.totalSeconds(), 3600) - floorDiv(p.totalSeconds(), 3600);
    else if (interval == u"n")
        r = floorDiv(q.totalSeconds(), 60) - floorDiv(p.totalSeconds(), 60);
    else if (interval == u"s")
        r = q.totalSeconds() - p.totalSeconds();
    else
        throw VBError(VBError::InvalidCall);
    if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
        return VBValue::Double(static_cast<double>(r));
    return VBValue::Long(r);
}

VBValue fnDatePart(const Args& a)
{
    const QString interval = a[0].ToText().toLower();
    const int first = firstDayOfWeek(a, 2);
    const int rule = firstWeekRule(a, 3);
    if (a[1].isNull())
        return VBValue::Null();
    const DateParts p = parts(a[1]);
    int r = 0;
    if (interval == u"yyyy")
        r = p.date.year();
    else if (interval == u"q")
        r = (p.date.month() - 1) / 3 + 1;
    else if (interval == u"m")
        r = p.date.month();
    else if (interval == u"y")
        r = p.date.dayOfYear();
    else if (interval == u"d")
        r = p.date.day();
    else if (interval == u"w")
        r = weekday(p.date, first);
    else if (interval == u"ww")
        r = weekOfYear(p.date, first, rule);
    else if (interval == u"h")
        r = p.seconds / 3600;
    else if (interval == u"n")
        r = p.seconds / 60 % 60;
    else if (interval == u"s")
        r = p.seconds % 60;
    else
        throw VBError(VBError::InvalidCall);
    return VBValue::Integer(r);
}

VBValue fnMonthName(const Args& a)
{
    const std::int64_t m = whole(a[0]);
    const bool abbreviate = has(a, 1) && a[1].ToBool();
    if (m < 1 || m > 12)
        throw VBError(VBError::InvalidCall);
    return text(VBDate::MonthName(static_cast<int>(m), abbreviate));
}

VBValue fnWeekdayName(const Args& a)
{
    const std::int64_t w = whole(a[0]);
    const bool abbreviate = has(a, 1) && a[1].ToBool();
    const int first = firstDayOfWeek(a, 2);
    if (w < 1 || w > 7)
        throw VBError(VBError::InvalidCall);
    return text(VBDate::WeekdayName(static_cast<int>((w - 1 + first - 1) % 7 + 1), abbreviate));
}

// ---- formatting -----------------------------------------------------------------------------

/// -2 (default) keeps the default, 0 is false, any other value true.
bool tristate(const Args& a, size_t i, bool byDefault)
{
    if (!has(a, i))
        return byDefault;
    const std::int64_t v = whole(a[i]);
    return v == -2 ? byDefault : v != 0;
}

/**
 * en-US number text with a fixed number of decimals: the value's 15 significant digits (its CStr
 * precision) rounded half away from zero, thousands grouped with ",", "." as decimal point.
 */
QString formatFixed(double v, int decimals, bool leadingDigit, bool parens, bool group)
{
    const bool negative = v < 0;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 14);
    const std::string sci(buf, res.ptr);
    const size_t ePos = sci.find('e');
    std::string digits = sci.substr(0, 1) + sci.substr(2, ePos - 2);
    const int exponent = std::stoi(sci.substr(ePos + 1));
    std::string intPart, fracPart;
    if (v == 0.0) {
        intPart = "0";
    } else if (exponent >= 0) {
        if (static_cast<int>(digits.size()) <= exponent + 1) {
            intPart = digits + std::string(static_cast<size_t>(exponent + 1) - digits.size(), '0');
        } else {
            intPart = digits.substr(0, static_cast<size_t>(exponent + 1));
            fracPart = digits.substr(static_cast<size_t>(exponent + 1));
        }
    } else {
        intPart = "0";
        fracPart = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    // Round to the decimals asked for, half away from zero.
    const bool up = static_cast<int>(fracPart.size()) > decimals && fracPart[static_cast<size_t>(decimals)] >= '5';
    fracPart.resize(static_cast<size_t>(decimals), '0');
    if (up) {
        std::string all = intPart + fracPart;
        int k = static_cast<int>(all.size()) - 1;
        while (k >= 0 && all[static_cast<size_t>(k)] == '9') {
            all[static_cast<size_t>(k)] = '0';
            --k;
        }
        if (k >= 0)
            ++all[static_cast<size_t>(k)];
        else
            all.insert(all.begin(), '1');
        intPart = all.substr(0, all.size() - static_cast<size_t>(decimals));
        fracPart = all.substr(all.size() - static_cast<size_t>(decimals));
    }
    while (intPart.size() > 1 && intPart[0] == '0')
        intPart.erase(0, 1);
    QString out;
    if (intPart == "0" && !leadingDigit && decimals > 0) {
        // ".50" instead of "0.50"
    } else if (group) {
        for (size_t k = 0; k < intPart.size(); ++k) {
            if (k > 0 && (intPart.size() - k) % 3 == 0)
                out += u',';
            out += QLatin1Char(intPart[k]);
        }
    } else {
        out = QString::fromLatin1(intPart);
    }
    if (decimals > 0)
        out += u'.' + QString::fromLatin1(fracPart);
    if (negative)
        out = parens ? u'(' + out + u')' : u'-' + out;
    return out;
}

double formatValue(const VBValue& v)
{
    if (v.isNull())
        throw VBError(VBError::TypeMismatch);
    return v.ToDouble();
}

int formatDecimals(const Args& a)
{
    const std::int64_t n = has(a, 1) ? whole(a[1]) : -1;
    if (n < -1 || n > 99)
        throw VBError(VBError::InvalidCall);
    return n == -1 ? 2 : static_cast<int>(n);
}

VBValue fnFormatNumber(const Args& a)
{
    const double v = formatValue(a[0]);
    return text(formatFixed(v, formatDecimals(a), tristate(a, 2, true), tristate(a, 3, false), tristate(a, 4, true)));
}

VBValue fnFormatPercent(const Args& a)
{
    const double v = formatValue(a[0]) * 100.0;
    if (!std::isfinite(v))
        throw VBError(VBError::Overflow);
    return text(formatFixed(v, formatDecimals(a), tristate(a, 2, true), tristate(a, 3, false), tristate(a, 4, true)) +
                u'%');
}

VBValue fnFormatDateTime(const Args& a)
{
    const std::int64_t format = has(a, 1) ? whole(a[1]) : 0;
    if (a[0].isNull())
        throw VBError(VBError::TypeMismatch);
    const double serial = a[0].ToDate();
    QDate date;
    int seconds = 0;
    VBDate::ToParts(serial, date, seconds);
    switch (format) {
    case 0:
        return text(VBDate::Format(serial));
    case 1:
        return text(VBDate::LongDate(date));
    case 2:
        return text(VBDate::ShortDate(date));
    case 3:
        return text(VBDate::LongTime(seconds));
    case 4:
        return text(VBDate::ShortTime(seconds));
    default:
        throw VBError(VBError::InvalidCall);
    }
}

// ---- miscellaneous --------------------------------------------------------------------------

VBValue fnRGB(const Args& a)
{
    auto part = [](const VBValue& v) { return std::clamp<std::int64_t>(v.ToLong(), 0, 255); };
    const std::int64_t r = part(a[0]), g = part(a[1]), b = part(a[2]);
    if (a[0].ToLong() < 0 || a[1].ToLong() < 0 || a[2].ToLong() < 0)
        throw VBError(VBError::InvalidCall);
    return VBValue::Long(r + g * 256 + b * 65536);
}

VBValue fnScriptEngine(const Args&)
{
    return text(QStringLiteral("VBScript"));
}

VBValue fnScriptEngineMajorVersion(const Args&)
{
    return VBValue::Long(5);
}

VBValue fnScriptEngineMinorVersion(const Args&)
{
    return VBValue::Long(8);
}

VBValue fnScriptEngineBuildVersion(const Args&)
{
    return VBValue::Long(16384);
}

const VBFunction kFunctions[] = {
    {"Len", 1, 1, fnLen},
    {"Left", 2, 2, fnLeft},
    {"Right", 2, 2, fnRight},
    {"Mid", 2, 3, fnMid},
    {"UCase", 1, 1, fnUCase},
    {"LCase", 1, 1, fnLCase},
    {"Trim", 1, 1, fnTrim},
    {"LTrim", 1, 1, fnLTrim},
    {"RTrim", 1, 1, fnRTrim},
    {"Replace", 3, 6, fnReplace},
    {"InStr", 2, 4, fnInStr},
    {"InStrRev", 2, 4, fnInStrRev},
    {"Space", 1, 1, fnSpace},
    {"String", 2, 2, fnString},
    {"StrReverse", 1, 1, fnStrReverse},
    {"StrComp", 2, 3, fnStrComp},
    {"Asc", 1, 1, fnAsc},
    {"AscB", 1, 1, fnAsc},
    {"AscW", 1, 1, fnAscW},
    {"Chr", 1, 1, fnChr},
    {"ChrB", 1, 1, fnChr},
    {"ChrW", 1, 1, fnChrW},
    {"CStr", 1, 1, fnCStr},
    {"CInt", 1, 1, fnCInt},
    {"CLng", 1, 1, fnCLng},
    {"CDbl", 1, 1, fnCDbl},
    {"CSng", 1, 1, fnCSng},
    {"CBool", 1, 1, fnCBool},
    {"CByte", 1, 1, fnCByte},
    {"CCur", 1, 1, fnCCur},
    {"CDate", 1, 1, fnCDate},
    {"Hex", 1, 1, fnHex},
    {"Oct", 1, 1, fnOct},
    {"Int", 1, 1, fnInt},
    {"Fix", 1, 1, fnFix},
    {"Round", 1, 2, fnRound},
    {"Abs", 1, 1, fnAbs},
    {"Sgn", 1, 1, fnSgn},
    {"Sqr", 1, 1, fnSqr},
    {"Exp", 1, 1, fnExp},
    {"Log", 1, 1, fnLog},
    {"Sin", 1, 1, fnSin},
    {"Cos", 1, 1, fnCos},
    {"Tan", 1, 1, fnTan},
    {"Atn", 1, 1, fnAtn},
    {"IsNumeric", 1, 1, fnIsNumeric},
    {"IsDate", 1, 1, fnIsDate},
    {"IsEmpty", 1, 1, fnIsEmpty},
    {"IsNull", 1, 1, fnIsNull},
    {"IsObject", 1, 1, fnIsObject},
    {"IsArray", 1, 1, fnIsArray},
    {"TypeName", 1, 1, fnTypeName},
    {"VarType", 1, 1, fnVarType},
    {"Date", 0, 0, fnDate},
    {"Time", 0, 0, fnTime},
    {"Now", 0, 0, fnNow},
    {"Timer", 0, 0, fnTimer},
    {"Year", 1, 1, fnYear},
    {"Month", 1, 1, fnMonth},
    {"Day", 1, 1, fnDay},
    {"Hour", 1, 1, fnHour},
    {"Minute", 1, 1, fnMinute},
    {"Second", 1, 1, fnSecond},
    {"Weekday", 1, 2, fnWeekday},
    {"DateSerial", 3, 3, fnDateSerial},
    {"DateValue", 1, 1, fnDateValue},
    {"TimeValue", 1, 1, fnTimeValue},
    {"TimeSerial", 3, 3, fnTimeSerial},
    {"DateAdd", 3, 3, fnDateAdd},
    {"DateDiff", 3, 5, fnDateDiff},
    {"DatePart", 2, 4, fnDatePart},
    {"MonthName", 1, 2, fnMonthName},
    {"WeekdayName", 1, 3, fnWeekdayName},
    {"FormatNumber", 1, 5, fnFormatNumber},
    {"FormatPercent", 1, 5, fnFormatPercent},
    {"FormatDateTime", 1, 2, fnFormatDateTime},
    {"RGB", 3, 3, fnRGB},
    {"ScriptEngine", 0, 0, fnScriptEngine},
    {"ScriptEngineMajorVersion", 0, 0, fnScriptEngineMajorVersion},
    {"ScriptEngineMinorVersion", 0, 0, fnScriptEngineMinorVersion},
    {"ScriptEngineBuildVersion", 0, 0, fnScriptEngineBuildVersion},
};

} // namespace

const VBFunction* VBFunctions::Find(const QString& lowerName)
{
    static const QHash<QString, const VBFunction*> index = [] {
        QHash<QString, const VBFunction*> h;
        for (const VBFunction& f : kFunctions)
            h.insert(QString::fromLatin1(f.name).toLower(), &f);
        return h;
    }();
    return index.value(lowerName, nullptr);
}
