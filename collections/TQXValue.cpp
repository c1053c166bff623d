#include "TQXValue.h"

#include "TQXCols.h"
#include "TQXRows.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

TQXObject::~TQXObject() = default;

namespace {

// VBScript's zero date: 30 December 1899, the day number 0 of a Variant date.
const QDate kZeroDate(1899, 12, 30);

double dateToSerial(const QDateTime& dt)
{
    const double days = static_cast<double>(kZeroDate.daysTo(dt.date()));
    const double frac = dt.time().msecsSinceStartOfDay() / 86400000.0;
    // Negative serials count the time part away from zero, as OLE dates do.
    return days < 0 ? days - frac : days + frac;
}

} // namespace

bool TQXValue::toBool() const
{
    switch (type()) {
    case Type::Boolean:
        return std::get<bool>(m_data);
    case Type::Integer:
        return std::get<std::int64_t>(m_data) != 0;
    case Type::Double:
        return std::get<double>(m_data) != 0.0;
    case Type::Date:
        return dateToSerial(std::get<QDateTime>(m_data)) != 0.0;
    case Type::Text: {
        const QString t = std::get<QString>(m_data).trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const double d = t.toDouble(&ok);
        return ok && d != 0.0;
    }
    default:
        return false;
    }
}

std::int64_t TQXValue::toInteger() const
{
    switch (type()) {
    case Type::Boolean:
        return std::get<bool>(m_data) ? -1 : 0;
    case Type::Integer:
        return std::get<std::int64_t>(m_data);
    case Type::Double:
    case Type::Date:
    case Type::Text: {
        const double d = toDouble();
        if (!std::isfinite(d) || d > 9.2e18 || d < -9.2e18)
            return 0;
        return static_cast<std::int64_t>(std::nearbyint(d)); // banker's rounding under the default mode
    }
    default:
        return 0;
    }
}

double TQXValue::toDouble() const
{
    switch (type()) {
    case Type::Boolean:
        return std::get<bool>(m_data) ? -1.0 : 0.0;
    case Type::Integer:
        return static_cast<double>(std::get<std::int64_t>(m_data));
    case Type::Double:
        return std::get<double>(m_data);
    case Type::Date:
        return dateToSerial(std::get<QDateTime>(m_data));
    case Type::Text: {
        bool ok = false;
        const double d = std::get<QString>(m_data).trimmed().toDouble(&ok);
        return ok ? d : 0.0;
    }
    default:
        return 0.0;
    }
}

QDateTime TQXValue::toDate() const
{
    if (type() == Type::Date)
        return std::get<QDateTime>(m_data);
    return QDateTime();
}

QString TQXValue::ToText() const
{
    switch (type()) {
    case Type::Boolean:
        return std::get<bool>(m_data) ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Integer:
        return QString::number(std::get<std::int64_t>(m_data));
    case Type::Double:
        return FormatDouble(std::get<double>(m_data));
    case Type::Date:
        return FormatDate(std::get<QDateTime>(m_data));
    case Type::Text:
        return std::get<QString>(m_data);
    default:
        return QString();
    }
}

std::shared_ptr<TQXRows> TQXValue::rows() const
{
    if (auto p = std::get_if<std::shared_ptr<TQXRows>>(&m_data))
        return *p;
    return nullptr;
}

std::shared_ptr<TQXCols> TQXValue::cols() const
{
    if (auto p = std::get_if<std::shared_ptr<TQXCols>>(&m_data))
        return *p;
    return nullptr;
}

std::shared_ptr<TQXObject> TQXValue::object() const
{
    if (auto p = std::get_if<std::shared_ptr<TQXObject>>(&m_data))
        return *p;
    return nullptr;
}

QString TQXValue::FormatDouble(double v, int digits)
{
    if (v == 0.0)
        return QStringLiteral("0"); // negative zero too
    if (!std::isfinite(v))
        return QString();
    // VBScript writes a double with up to 15 significant digits (a Single with 7), trailing zeros
    // dropped, and switches to the exponent form ("1E+15", "1.5E-05") below 1E-4 and from 1E+15
    // on: exactly C's %.15G. to_chars gives that form without consulting the C locale.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
    QString out = QString::fromLatin1(buf, res.ptr - buf);
    const qsizetype e = out.indexOf(QLatin1Char('e'));
    if (e >= 0)
        out[e] = QLatin1Char('E');
    return out;
}

QString TQXValue::FormatDate(const QDateTime& v)
{
    if (!v.isValid())
        return QString();
    // Seconds are rounded as VBScript rounds a date's time of day.
    QDate d = v.date();
    qint64 secs = (v.time().msecsSinceStartOfDay() + 500) / 1000;
    if (secs >= 86400) {
        secs -= 86400;
        d = d.addDays(1);
    }
    // en-US short date and long time. Day 0 (30 December 1899) shows only the time, even at
    // midnight ("12:00:00 AM"); midnight of any other day shows only the date.
    QString date;
    if (d != kZeroDate)
        date = QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year());
    if (!date.isEmpty() && secs == 0)
        return date;
    const int hour = static_cast<int>(secs / 3600);
    int h = hour % 12;
    if (h == 0)
        h = 12;
    const QString time = QStringLiteral("%1:%2:%3 %4")
                             .arg(h)
                             .arg(secs / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(secs % 60, 2, 10, QLatin1Char('0'))
                             .arg(hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
    return date.isEmpty() ? time : date + QLatin1Char(' ') + time;
}
