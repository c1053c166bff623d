#include "VBDate.h"

#include "TQXValue.h"

#include <QTimeZone>

#include <array>
#include <cmath>
#include <vector>

namespace {

const std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
const std::array<const char*, 7> kWeekdays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};

struct DateToken
{
    enum Kind { Number, Word, Sep } kind;
    int value = 0;  // Number: its value
    int digits = 0; // Number: how many digits were written
    QString text;   // Word: lower-case text; Sep: the separator
};

bool tokenizeDate(QStringView t, std::vector<DateToken>& out)
{
    qsizetype i = 0;
    while (i < t.size()) {
        const QChar c = t.at(i);
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            qsizetype j = i;
            qint64 v = 0;
            while (j < t.size() && t.at(j).unicode() >= '0' && t.at(j).unicode() <= '9') {
                v = v * 10 + (t.at(j).unicode() - '0');
                if (v > 100000)
                    return false;
                ++j;
            }
            out.push_back(DateToken{DateToken::Number, static_cast<int>(v), static_cast<int>(j - i), QString()});
            i = j;
        } else if (c.isLetter()) {
            qsizetype j = i;
            while (j < t.size() && t.at(j).isLetter())
                ++j;
            out.push_back(DateToken{DateToken::Word, 0, 0, t.mid(i, j - i).toString().toLower()});
            i = j;
        } else if (c == u'/' || c == u'-' || c == u'.' || c == u',' || c == u':') {
            out.push_back(DateToken{DateToken::Sep, 0, 0, QString(c)});
            ++i;
        } else if (c == u' ' || c == u'\t') {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

int monthFromWord(const QString& w)
{
    for (int m = 0; m < 12; ++m) {
        const QString name = QString::fromLatin1(kMonths[m]).toLower();
        if (w == name || (w.size() >= 3 && name.startsWith(w)))
            return m + 1;
    }
    return 0;
}

bool isWeekdayWord(const QString& w)
{
    for (const char* d : kWeekdays) {
        const QString name = QString::fromLatin1(d).toLower();
        if (w == name || (w.size() >= 3 && name.startsWith(w)))
            return true;
    }
    return false;
}

} // namespace

int VBDate::ExpandYear(int year)
{
    if (year >= 0 && year < 30)
        return 2000 + year;
    if (year >= 30 && year < 100)
        return 1900 + year;
    return year;
}

double VBDate::FromParts(const QDate& date, std::int64_t seconds)
{
    const double days = static_cast<double>(VBDate::kZero.daysTo(date));
    const double frac = static_cast<double>(seconds) / 86400.0;
    return days < 0 ? days - frac : days + frac;
}

double VBDate::FromDateTime(const QDateTime& dt)
{
    return FromParts(dt.date(), dt.time().msecsSinceStartOfDay() / 1000);
}

void VBDate::ToParts(double serial, QDate& date, int& seconds)
{
    double whole = std::trunc(serial);
    const double frac = std::fabs(serial - whole);
    std::int64_t secs = std::llround(frac * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        whole += serial < 0 ? -1.0 : 1.0;
    }
    date = VBDate::kZero.addDays(static_cast<qint64>(whole));
    seconds = static_cast<int>(secs);
}

QDateTime VBDate::ToDateTime(double serial)
{
    QDate date;
    int seconds = 0;
    ToParts(serial, date, seconds);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(seconds * 1000), QTimeZone::utc());
}

double VBDate::Now()
{
    return FromDateTime(QDateTime::currentDateTime());
}

bool VBDate::Parse(QStringView text, double& serial)
{
    std::vector<DateToken> tokens;
    if (!tokenizeDate(text, tokens) || tokens.empty())
        return false;

    // The time: H:MM[:SS] [AM|PM], or H AM|PM.
    int hour = -1, minute = 0, second = 0;
    std::vector<DateToken> rest;
    for (size_t k = 0; k < tokens.size(); ++k) {
        const DateToken& t = tokens[k];
        const bool colon = k + 2 < tokens.size() && t.kind == DateToken::Number &&
                           tokens[k + 1].kind == DateToken::Sep && tokens[k + 1].text == u":" &&
                           tokens[k + 2].kind == DateToken::Number;
        const bool ampmNext = k + 1 < tokens.size() && t.kind == DateToken::Number &&
                              tokens[k + 1].kind == DateToken::Word &&
                              (tokens[k + 1].text == u"am" || tokens[k + 1].text == u"pm");
        if (hour < 0 && (colon || ampmNext)) {
            hour = t.value;
            size_t j = k + 1;
            if (colon) {
                minute = tokens[k + 2].value;
                j = k + 3;
                if (j + 1 < tokens.size() && tokens[j].kind == DateToken::Sep && tokens[j].text == u":" &&
                    tokens[j + 1].kind == DateToken::Number) {
                    second = tokens[j + 1].value;
                    j += 2;
                }
            }
            if (j < tokens.size() && tokens[j].kind == DateToken::Word &&
                (tokens[j].text == u"am" || tokens[j].text == u"pm")) {
                if (hour < 1 || hour > 12)
                    return false;
                const bool pm = tokens[j].text == u"pm";
                hour = hour % 12 + (pm ? 12 : 0);
                ++j;
            }
            if (hour > 23 || minute > 59 || second > 59)
                return false;
            k = j - 1;
            continue;
        }
        rest.push_back(t);
    }

    // The date: numbers and at most one month name; separators and weekday names are skipped.
    std::vector<DateToken> numbers;
    int month = 0;
    for (const DateToken& t : rest) {
        if (t.kind == DateToken::Number) {
            numbers.push_back(t);
        } else if (t.kind == DateToken::Word) {
            const int m = monthFromWord(t.text);
            if (m > 0 && month == 0) {
                month = m;
            } else if (!isWeekdayWord(t.text)) {
                return false;
            }
        } else if (t.text == u":") {
            return false;
        }
    }

    const int currentYear = QDate::currentDate().year();
    int year = 0, day = 0;
    auto isYear = [](const DateToken& t) { return t.digits >= 3 || t.value > 31; };
    if (month > 0) {
        if (numbers.size() == 1) {
            if (isYear(numbers[0])) {
                year = numbers[0].value;
                day = 1;
            } else {
                day = numbers[0].value;
                year = currentYear;
            }
        } else if (numbers.size() == 2) {
            // "January 31, 2020", "31 January 2020" or "2020 January 31".
            if (isYear(numbers[0]) && !isYear(numbers[1])) {
                year = numbers[0].value;
                day = numbers[1].value;
            } else {
                day = numbers[0].value;
                year = numbers[1].value;
                if (numbers[1].digits <= 2)
                    year = ExpandYear(year);
            }
        } else {
            return false;
        }
    } else if (numbers.size() == 3) {
        if (isYear(numbers[0])) {
            year = numbers[0].value;
            month = numbers[1].value;
            day = numbers[2].value;
        } else {
            month = numbers[0].value;
            day = numbers[1].value;
            year = numbers[2].value;
            if (month > 12 && day <= 12)
                std::swap(month, day);
            if (numbers[2].digits <= 2)
                year = ExpandYear(year);
        }
    } else if (numbers.size() == 2) {
        if (isYear(numbers[1]) && numbers[0].value <= 12) {
            month = numbers[0].value;
            year = numbers[1].value;
            day = 1;
        } else {
            month = numbers[0].value;
            day = numbers[1].value;
            if (month > 12 && day <= 12)
                std::swap(month, day);
            year = currentYear;
        }
    } else if (numbers.empty()) {
        if (hour < 0)
            return false;
        serial = FromParts(VBDate::kZero, hour * 3600 + minute * 60 + second);
        return true;
    } else {
        return false;
    }

    const QDate date(year, month, day);
    if (!date.isValid() || year < 100 || year > 9999)
        return false;
    serial = FromParts(date, hour < 0 ? 0 : hour * 3600 + minute * 60 + second);
    return true;
}

QString VBDate::ShortDate(const QDate& d)
{
    return QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year());
}

QString VBDate::LongDate(const QDate& d)
{
    return QStringLiteral("%1, %2 %3, %4")
        .arg(WeekdayName(d.dayOfWeek() % 7 + 1, false), MonthName(d.month(), false))
        .arg(d.day())
        .arg(d.year());
}

QString VBDate::LongTime(int seconds)
{
    const int hour = seconds / 3600;
    int h = hour % 12;
    if (h == 0)
        h = 12;
    return QStringLiteral("%1:%2:%3 %4")
        .arg(h)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString VBDate::ShortTime(int seconds)
{
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
}

QString VBDate::Format(double serial)
{
    // One date formatting for the whole program: the collections' CStr form.
    return TQXValue::FormatDate(ToDateTime(serial));
}

QString VBDate::MonthName(int month, bool abbreviate)
{
    const QString name = QString::fromLatin1(kMonths[(month - 1) % 12]);
    return abbreviate ? name.left(3) : name;
}

QString VBDate::WeekdayName(int dayOfWeek, bool abbreviate)
{
    const QString name = QString::fromLatin1(kWeekdays[(dayOfWeek - 1) % 7]);
    return abbreviate ? name.left(3) : name;
}
