#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>

#include <cstdint>

/**
 * @brief Dates of the expression language: a day number counted from 30 December 1899, with the
 * time of day as its fraction. Before that day the fraction counts away from zero (-1.25 is
 * 29 December 1899, 6:00 AM), as OLE dates do. Valid years are 100 to 9999.
 *
 * All texts are the en-US forms, independent of the machine's locale.
 */
class VBDate
{
public:
    /// The day of serial 0.
    static inline const QDate kZero{1899, 12, 30};
    static constexpr double kMin = -657434.0;     // 1 January 100
    static constexpr double kMax = 2958465.99999; // 31 December 9999, 23:59:59

    static bool InRange(double serial) { return serial > kMin - 1.0 && serial < 2958466.0; }

    /// The serial of a calendar date and a time of day in seconds.
    static double FromParts(const QDate& date, std::int64_t seconds);
    static double FromDateTime(const QDateTime& dt);
    /// The date and the time of day (rounded to the second) of a serial.
    static void ToParts(double serial, QDate& date, int& seconds);
    /// Whole days and seconds of the day, for arithmetic on calendar parts.
    static QDateTime ToDateTime(double serial);
    /// The serial of the current local date and time (whole seconds).
    static double Now();

    /// Reads a date and/or time text: 1/31/2020, 2020-01-31, January 31, 2020, 31 Jan 2020,
    /// 3:04:05 PM, 15:04, and combinations. False when the text is no date.
    static bool Parse(QStringView text, double& serial);

    /// CStr of a date: "1/31/2020", "3:04:05 PM", or both; midnight of day 0 gives "12:00:00 AM".
    static QString Format(double serial);
    static QString ShortDate(const QDate& d);
    static QString LongDate(const QDate& d);
    static QString LongTime(int seconds);
    static QString ShortTime(int seconds);
    static QString MonthName(int month, bool abbreviate);
    static QString WeekdayName(int dayOfWeek /* 1 = Sunday */, bool abbreviate);

    /// Two-digit years: 0-29 are 2000-2029, 30-99 are 1930-1999.
    static int ExpandYear(int year);
};
