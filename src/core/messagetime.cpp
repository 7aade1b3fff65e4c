#include "core/messagetime.h"

#include <optional>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

std::optional<QDateTime> &fixedNow()
{
    static std::optional<QDateTime> value;
    return value;
}

QString twoDigits(int value)
{
    return u"%1"_s.arg(value, 2, 10, '0'_L1);
}

} // namespace

Result<QDateTime> messageTimeToDateTime(const MessageTime &time, Qt::TimeSpec spec)
{
    const QDate date(time.year, time.month, time.day);
    const QTime clock(time.hour, time.minute, time.second, time.millisecond);
    if (time.year < 1601 || !date.isValid() || !clock.isValid())
        return Error::make(ErrorCode::BadTime);
    return QDateTime(date, clock, spec);
}

MessageTime dateTimeToMessageTime(const QDateTime &time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    MessageTime result;
    result.year = static_cast<quint16>(date.year());
    result.month = static_cast<quint16>(date.month());
    result.dayOfWeek = static_cast<quint16>(date.dayOfWeek() % 7);
    result.day = static_cast<quint16>(date.day());
    result.hour = static_cast<quint16>(clock.hour());
    result.minute = static_cast<quint16>(clock.minute());
    result.second = static_cast<quint16>(clock.second());
    result.millisecond = static_cast<quint16>(clock.msec());
    return result;
}

QDateTime Clock::nowUtc()
{
    return fixedNow() ? *fixedNow() : QDateTime::currentDateTimeUtc();
}

QDateTime Clock::nowLocal()
{
    return nowUtc().toLocalTime();
}

MessageTime Clock::utcMessageTime()
{
    return dateTimeToMessageTime(nowUtc());
}

void Clock::setFixedUtc(const QDateTime &utc)
{
    fixedNow() = utc.toUTC();
}

void Clock::advanceMs(qint64 ms)
{
    if (fixedNow())
        *fixedNow() = fixedNow()->addMSecs(ms);
}

void Clock::reset()
{
    fixedNow().reset();
}

Status utcToLocal(const MessageTime &utc, MessageTime &local)
{
    const Result<QDateTime> moment = messageTimeToDateTime(utc, Qt::UTC);
    if (!moment)
        return moment.error();
    local = dateTimeToMessageTime(moment.value().toLocalTime());
    return {};
}

QString formatTime(const MessageTime &time)
{
    return twoDigits(time.hour) + ':'_L1 + twoDigits(time.minute) + ':'_L1 + twoDigits(time.second);
}

QString formatDate(const MessageTime &time, int /*flags*/)
{
    return twoDigits(time.day) + '.'_L1 + twoDigits(time.month) + '.'_L1 +
           u"%1"_s.arg(time.year, 4, 10, '0'_L1);
}

QString formatClockTime(const QDateTime &time)
{
    return time.toString(u"HH:mm:ss"_s);
}

} // namespace quillet
