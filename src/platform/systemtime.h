#pragma once

#include "error.h"

#include <QDateTime>
#include <QString>

// The date-and-time record that message files and the renderer use:
// eight unsigned 16-bit fields, as the message format defines them.
struct SystemTime
{
    quint16 wYear = 0;
    quint16 wMonth = 0;
    quint16 wDayOfWeek = 0;
    quint16 wDay = 0;
    quint16 wHour = 0;
    quint16 wMinute = 0;
    quint16 wSecond = 0;
    quint16 wMilliseconds = 0;

    friend bool operator==(const SystemTime &, const SystemTime &) = default;
};

// A record that names no real moment (month 13, 30 February, hour 24,
// millisecond 1000, a year before 1601) cannot become a date-time.
Result<QDateTime> systemTimeToDateTime(const SystemTime &time, Qt::TimeSpec spec);
SystemTime dateTimeToSystemTime(const QDateTime &time);

// "Now" for the whole program. Tests fix it to make time stamps, log names
// and message names exact.
class Clock final
{
public:
    static QDateTime nowUtc();
    static QDateTime nowLocal();
    static SystemTime utcSystemTime();
    // Offset of the local zone from UTC at the current moment, in seconds.
    static int currentUtcOffset();

    static void setFixedUtc(const QDateTime &utc);
    static void advanceMs(qint64 ms);
    static void reset();
};

// Shifts a UTC record by the local zone's current offset, whatever its date.
// Fails, leaving `local` untouched, when `utc` names no real moment.
Status UtcToLocalTime(const SystemTime &utc, SystemTime &local);

QString bfSystemTimeToStringTime(const SystemTime &time);            // "HH:mm:ss"
QString bfSystemTimeToStringDate(const SystemTime &time, int flags); // "dd.MM.yyyy"
QString bfSystemTimeToStringTime2(const QDateTime &time);            // "HH:mm:ss"
