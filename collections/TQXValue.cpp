#include "TQXValue.h"

#include "TQXCols.h"
#include "TQXRows.h"

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

QString TQXValue::FormatDouble(double v)
{
    if (v == 0.0)
        return QStringLiteral("0");
    if (!std::isfinite(v))
        return QString();
    // Round to 15 significant digits first, then choose plain or exponent form from the
    // rounded exponent, as VBScript does.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    // buf: [-]d.ddddddddddddddde[+-]xx
    QString s = QString::fromLatin1(buf);
    const qsizetype ePos = s.indexOf(QLatin1Char('e'));
    const int exp10 = s.mid(ePos + 1).toInt();
    QString mant = s.left(ePos);
    const bool neg = mant.startsWith(QLatin1Char('-'));
    if (neg)
        mant.remove(0, 1);
    QString digits = mant;
    digits.remove(QLatin1Char('.'));
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);

    QString out;
    if (exp10 >= 15 || exp10 < -5) {
        out = digits.left(1);
        if (digits.size() > 1)
            out += QLatin1Char('.') + digits.mid(1);
        out += QLatin1Char('E');
        out += exp10 < 0 ? QLatin1Char('-') : QLatin1Char('+');
        out += QString::number(std::abs(exp10)).rightJustified(2, QLatin1Char('0'));
    } else if (exp10 >= 0) {
        if (digits.size() <= exp10 + 1) {
            out = digits + QString(exp10 + 1 - digits.size(), QLatin1Char('0'));
        } else {
            out = digits.left(exp10 + 1) + QLatin1Char('.') + digits.mid(exp10 + 1);
        }
    } else {
        out = QStringLiteral("0.") + QString(-exp10 - 1, QLatin1Char('0')) + digits;
    }
    return neg ? QLatin1Char('-') + out : out;
}

QString TQXValue::FormatDate(const QDateTime& v)
{
    if (!v.isValid())
        return QString();
    const QDate d = v.date();
    const QTime t = v.time();
    const bool hasDate = d != kZeroDate;
    const bool hasTime = t.msecsSinceStartOfDay() / 1000 != 0;
    QString out;
    if (hasDate || !hasTime)
        out = QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year());
    if (hasTime) {
        int h = t.hour() % 12;
        if (h == 0)
            h = 12;
        const QString time = QStringLiteral("%1:%2:%3 %4")
                                 .arg(h)
                                 .arg(t.minute(), 2, 10, QLatin1Char('0'))
                                 .arg(t.second(), 2, 10, QLatin1Char('0'))
                                 .arg(t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
        out = out.isEmpty() ? time : out + QLatin1Char(' ') + time;
    }
    return out;
}
