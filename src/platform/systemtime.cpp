#include "systemtime.h"

#include <optional>

namespace {

std::optional<QDateTime> &fixedNow()
{
    static std::optional<QDateTime> value;
    return value;
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

Result<QDateTime> systemTimeToDateTime(const SystemTime &time, Qt::TimeSpec spec)
{
    const QDate date(time.wYear, time.wMonth, time.wDay);
    const QTime clock(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    if (time.wYear < 1601 || !date.isValid() || !clock.isValid())
        return Error::make(ErrorCode::BadTime);
    return QDateTime(date, clock, spec);
}

SystemTime dateTimeToSystemTime(const QDateTime &time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    SystemTime result;
    result.wYear = static_cast<quint16>(date.year());
    result.wMonth = static_cast<quint16>(date.month());
    result.wDayOfWeek = static_cast<quint16>(date.dayOfWeek() % 7);
    result.wDay = static_cast<quint16>(date.day());
    result.wHour = static_cast<quint16>(clock.hour());
    result.wMinute = static_cast<quint16>(clock.minute());
    result.wSecond = static_cast<quint16>(clock.second());
    result.wMilliseconds = static_cast<quint16>(clock.msec());
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

SystemTime Clock::utcSystemTime()
{
    return dateTimeToSystemTime(nowUtc());
}

int Clock::currentUtcOffset()
{
    return nowUtc().toLocalTime().offsetFromUtc();
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

Status UtcToLocalTime(const SystemTime &utc, SystemTime &local)
{
    const Result<QDateTime> moment = systemTimeToDateTime(utc, Qt::UTC);
    if (!moment)
        return moment.error();
    const QDateTime shifted = moment.value().addSecs(Clock::currentUtcOffset());
    local = dateTimeToSystemTime(shifted);
    return {};
}

QString bfSystemTimeToStringTime(const SystemTime &time)
{
    return twoDigits(time.wHour) + QLatin1Char(':') + twoDigits(time.wMinute) + QLatin1Char(':') +
           twoDigits(time.wSecond);
}

QString bfSystemTimeToStringDate(const SystemTime &time, int /*flags*/)
{
    return twoDigits(time.wDay) + QLatin1Char('.') + twoDigits(time.wMonth) + QLatin1Char('.') +
           QStringLiteral("%1").arg(time.wYear, 4, 10, QLatin1Char('0'));
}

QString bfSystemTimeToStringTime2(const QDateTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}
