#pragma once

#include "exchange/messagekind.h"

#include <QString>

#include "core/error.h"
#include "core/messagetime.h"

// One message file of the exchange folder: the whole protocol between chat
// participants. The name carries the UTC send time and a GUID; the content is
// ten NUL-joined fields: year, month, day, hour, minute, second, millisecond
// (unpadded decimal), sender name, text, sender GUID.

namespace quillet {

struct ReceivedMessage
{
    QString senderName;
    QString text;        // line breaks as CR LF, whatever form they had in the file
    MessageTime utcTime; // day of week 0
    MessageKind kind = MessageKind::Other;
};

// "2012-03-03 09-05-07-07-045 {GUID}.QLIM": the seconds appear twice.
QString messageFileName(const MessageTime &utc, const QString &guid);

// The ten fields joined by NUL. Line breaks of `text` become CR LF; NUL
// characters are removed from every field so they cannot shift the fields.
QString buildMessageContent(const MessageTime &utc, const QString &senderName, const QString &text,
                            const QString &senderGuid);

// Splits at every NUL, keeping empty fields. Nine fields: Own; ten or more:
// Own when field 9 equals `myGuid` exactly, Other otherwise.
Result<ReceivedMessage> parseMessageContent(const QString &content, const QString &myGuid);
// Whether `content` holds all ten fields. A writer still at work leaves fewer,
// and a text cut short in nine fields would still parse, as one's own message.
bool looksComplete(const QString &content);
Result<ReceivedMessage> readMessageFile(const QString &path, const QString &myGuid);

// One Clock::utcMessageTime() reading and one newGuid() give name and time
// fields; line breaks of `text` become CR LF; written atomically with
// TextFile::writeText. Returns the file's full path.
Result<QString> writeMessageFile(const QString &folder, const QString &senderName,
                                 const QString &text, const QString &myGuid);

// Every line break (CR LF, lone CR, lone LF, U+2028, U+2029) as CR LF.
QString normalizeLineBreaks(const QString &text);

} // namespace quillet
