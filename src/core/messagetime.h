#pragma once

#include "core/error.h"

#include <QDateTime>
#include <QString>

namespace quillet {

// The date-and-time record that message files and the renderer use:
// eight unsigned 16-bit fields, as the message format defines them.
struct MessageTime
{
    quint16 year = 0;
    quint16 month = 0;
    quint16 dayOfWeek = 0;
    quint16 day = 0;
    quint16 hour = 0;
    quint16 minute = 0;
    quint16 second = 0;
    quint16 millisecond = 0;

    friend bool operator==(const MessageTime &, const MessageTime &) = default;
};

// A record that names no real moment (month 13, 30 February, hour 24,
// millisecond 1000, a year before 1601) cannot become a date-time.
Result<QDateTime> messageTimeToDateTime(const MessageTime &time, Qt::TimeSpec spec);
MessageTime dateTimeToMessageTime(const QDateTime &time);

// "Now" for the whole program. Tests fix it to make time stamps, log names
// and message names exact.
class Clock final
{
public:
    static QDateTime nowUtc();
    static QDateTime nowLocal();
    static MessageTime utcMessageTime();

    static void setFixedUtc(const QDateTime &utc);
    static void advanceMs(qint64 ms);
    static void reset();
};

// Shifts a UTC record by the local zone's offset in force at that moment (a
// summer time stays a summer time when read in winter). Fails, leaving `local`
// untouched, when `utc` names no real moment.
Status utcToLocal(const MessageTime &utc, MessageTime &local);

QString formatTime(const MessageTime &time);            // "HH:mm:ss"
QString formatDate(const MessageTime &time, int flags); // "dd.MM.yyyy"
QString formatClockTime(const QDateTime &time);         // "HH:mm:ss"

} // namespace quillet
