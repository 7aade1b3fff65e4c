#include "exchange/messagefile.h"

#include <optional>

#include <QStringList>

#include "core/support.h"
#include "core/textfile.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr QChar FieldSeparator = QChar(0);
constexpr int NumberFieldCount = 7;
constexpr int FieldsWithoutGuid = 9;
constexpr int GuidField = 9;
constexpr int FieldCount = 10;
// The last year a Windows file time can hold.
constexpr int MaxYear = 30827;

QString padded(int value, int width)
{
    return u"%1"_s.arg(value, width, 10, '0'_L1);
}

QString withoutNul(QString field)
{
    return field.remove(FieldSeparator);
}

bool isBlank(QChar c)
{
    return c.isSpace();
}

// Decimal text as the usual conversion reads it: blanks around it, an optional
// sign, ASCII digits; anything else, or a value outside 16 bits, is refused.
std::optional<int> toInt16(QStringView field)
{
    qsizetype begin = 0;
    qsizetype end = field.size();
    while (begin < end && isBlank(field[begin]))
        ++begin;
    while (end > begin && isBlank(field[end - 1]))
        --end;
    bool negative = false;
    if (begin < end && (field[begin] == '+'_L1 || field[begin] == '-'_L1)) {
        negative = field[begin] == '-'_L1;
        ++begin;
    }
    if (begin == end)
        return std::nullopt;
    int value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = field[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 32768)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return value;
}

Result<MessageTime> parseTime(const QList<QStringView> &fields)
{
    int numbers[NumberFieldCount] = {};
    for (int i = 0; i < NumberFieldCount; ++i) {
        const std::optional<int> number = toInt16(fields[i]);
        if (!number)
            return Error::make(ErrorCode::BadNumber);
        numbers[i] = *number;
    }
    for (int n : numbers) {
        if (n < 0)
            return Error::make(ErrorCode::BadTime);
    }
    if (numbers[0] > MaxYear)
        return Error::make(ErrorCode::BadTime);
    MessageTime time;
    time.year = static_cast<quint16>(numbers[0]);
    time.month = static_cast<quint16>(numbers[1]);
    time.day = static_cast<quint16>(numbers[2]);
    time.hour = static_cast<quint16>(numbers[3]);
    time.minute = static_cast<quint16>(numbers[4]);
    time.second = static_cast<quint16>(numbers[5]);
    time.millisecond = static_cast<quint16>(numbers[6]);
    // A record that is no real moment could not be shown as a local time.
    if (!messageTimeToDateTime(time, Qt::UTC))
        return Error::make(ErrorCode::BadTime);
    return time;
}

} // namespace

QString normalizeLineBreaks(const QString &text)
{
    QString result;
    result.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '\r'_L1) {
            if (i + 1 < text.size() && text[i + 1] == '\n'_L1)
                ++i;
            result += "\r\n"_L1;
        } else if (c == '\n'_L1 || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            result += "\r\n"_L1;
        } else {
            result += c;
        }
    }
    return result;
}

QString messageFileName(const MessageTime &utc, const QString &guid)
{
    const QString second = padded(utc.second, 2);
    return padded(utc.year, 4) + '-'_L1 + padded(utc.month, 2) + '-'_L1 + padded(utc.day, 2) +
           ' '_L1 + padded(utc.hour, 2) + '-'_L1 + padded(utc.minute, 2) + '-'_L1 + second +
           '-'_L1 + second + '-'_L1 + padded(utc.millisecond, 3) + ' '_L1 + guid + u".QLIM"_s;
}

QString buildMessageContent(const MessageTime &utc, const QString &senderName, const QString &text,
                            const QString &senderGuid, const QList<Attachment> &attachments)
{
    QStringList fields = {
        QString::number(utc.year),
        QString::number(utc.month),
        QString::number(utc.day),
        QString::number(utc.hour),
        QString::number(utc.minute),
        QString::number(utc.second),
        QString::number(utc.millisecond),
        withoutNul(senderName),
        withoutNul(normalizeLineBreaks(text)),
        withoutNul(senderGuid),
    };
    for (const QString &field : attachmentFields(attachments))
        fields += withoutNul(field);
    return fields.join(FieldSeparator);
}

Result<ReceivedMessage> parseMessageContent(const QString &content, const QString &myGuid)
{
    if (content.isEmpty())
        return Error::make(ErrorCode::EmptyMessage);
    const QList<QStringView> fields =
        QStringView(content).split(FieldSeparator, Qt::KeepEmptyParts);
    if (fields.size() < FieldsWithoutGuid)
        return Error::make(ErrorCode::TooFewFields);
    Result<MessageTime> time = parseTime(fields);
    if (!time)
        return time.error();

    ReceivedMessage message;
    message.utcTime = time.value();
    message.senderName = fields[7].toString();
    message.text = normalizeLineBreaks(fields[8].toString());
    message.kind = fields.size() > GuidField && fields[GuidField] != myGuid ? MessageKind::Other
                                                                            : MessageKind::Own;
    if (fields.size() > FieldCount)
        message.attachments = parseAttachmentFields(fields.mid(FieldCount));
    return message;
}

bool looksComplete(const QString &content)
{
    return content.count(FieldSeparator) >= FieldCount - 1;
}

Result<ReceivedMessage> readMessageFile(const QString &path, const QString &myGuid)
{
    const Result<QString> content = TextFile::readText(path);
    if (!content)
        return content.error();
    return parseMessageContent(content.value(), myGuid);
}

QString captionOf(const ReceivedMessage &message)
{
    const bool onlySummary =
        !message.attachments.isEmpty() && message.text == attachmentSummary(message.attachments);
    return onlySummary ? QString() : message.text;
}

Result<QString> writeMessageFile(const QString &folder, const QString &senderName,
                                 const QString &text, const QString &myGuid)
{
    return writeMessageFile(folder, newGuid(), senderName, text, myGuid, {});
}

Result<QString> writeMessageFile(const QString &folder, const QString &messageGuid,
                                 const QString &senderName, const QString &text,
                                 const QString &myGuid, const QList<Attachment> &attachments)
{
    if (folder.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    const MessageTime utc = Clock::utcMessageTime();
    const QString path = joinPath(folder, messageFileName(utc, messageGuid));
    const QString shown = text.isEmpty() ? attachmentSummary(attachments) : text;
    const Status written =
        TextFile::writeText(path, buildMessageContent(utc, senderName, shown, myGuid, attachments));
    if (!written)
        return written.error();
    return path;
}

} // namespace quillet
