#include "core/messageheader.h"

#include <QDate>
#include <QTime>

#include <optional>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// "HH:mm:ss - dd.MM.yyyy"
constexpr qsizetype StampLength = 21;

QString stampText(const MessageTime &time)
{
    return formatTime(time) + u" - "_s + formatDate(time, 0);
}

// The stamp at `at`, or nothing when the text there has not its shape or names no
// real date and time.
std::optional<MessageTime> stampAt(QStringView text, qsizetype at)
{
    if (at < 0 || at + StampLength > text.size())
        return std::nullopt;
    static constexpr char16_t shape[] = u"00:00:00 - 00.00.0000";
    int numbers[6] = {};
    int field = 0;
    for (qsizetype i = 0; i < StampLength; ++i) {
        const QChar c = text[at + i];
        if (shape[i] == u'0') {
            if (c.unicode() < u'0' || c.unicode() > u'9')
                return std::nullopt;
            numbers[field] = numbers[field] * 10 + (c.unicode() - u'0');
        } else if (c != QChar(shape[i])) {
            return std::nullopt;
        } else if (shape[i] != u' ') {
            ++field;
        }
    }
    // Fields in order: hour, minute, second, day, month, year.
    const QDate date(numbers[5], numbers[4], numbers[3]);
    if (!date.isValid() || !QTime::isValid(numbers[0], numbers[1], numbers[2]))
        return std::nullopt;
    MessageTime time;
    time.year = quint16(numbers[5]);
    time.month = quint16(numbers[4]);
    time.dayOfWeek = quint16(date.dayOfWeek() % 7);
    time.day = quint16(numbers[3]);
    time.hour = quint16(numbers[0]);
    time.minute = quint16(numbers[1]);
    time.second = quint16(numbers[2]);
    return time;
}

// A header at the start of the line [start, end) of `text`, in either form.
std::optional<MessageHeader> headerAt(QStringView text, qsizetype start, qsizetype end)
{
    const QStringView line = text.sliced(start, end - start);
    if (line.startsWith(u'(') && line.size() > StampLength + 2 && line[StampLength + 1] == u')' &&
        line[StampLength + 2] == u' ') {
        const qsizetype nameStart = StampLength + 3;
        const qsizetype colon = line.indexOf(u":  ", nameStart);
        if (colon > nameStart) {
            if (const std::optional<MessageTime> time = stampAt(line, 1))
                return MessageHeader{start, start + colon + 3,
                                     line.sliced(nameStart, colon - nameStart).trimmed().toString(),
                                     *time, false};
        }
    }
    if (line.endsWith(u')') && line.size() > StampLength + 3 &&
        line[line.size() - StampLength - 2] == u'(' &&
        line[line.size() - StampLength - 3] == u' ') {
        const QStringView name = line.first(line.size() - StampLength - 2).trimmed();
        if (!name.isEmpty()) {
            if (const std::optional<MessageTime> time =
                    stampAt(line, line.size() - StampLength - 1))
                return MessageHeader{start, qMin(end + 1, text.size()), name.toString(), *time,
                                     true};
        }
    }
    return std::nullopt;
}

} // namespace

QString messageHeaderText(const QString &name, const MessageTime &localTime, bool separateLine)
{
    if (separateLine)
        return name + u"  ("_s + stampText(localTime) + u')';
    return u'(' + stampText(localTime) + u") "_s + name + u":  "_s;
}

QList<MessageHeader> findMessageHeaders(QStringView text)
{
    QList<MessageHeader> headers;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        // Cheap first look: a header line begins with '(' or ends with ')'.
        if (end > start && (text[start] == u'(' || text[end - 1] == u')')) {
            if (std::optional<MessageHeader> header = headerAt(text, start, end))
                headers.append(std::move(*header));
        }
        start = end + 1;
    }
    return headers;
}

} // namespace quillet
