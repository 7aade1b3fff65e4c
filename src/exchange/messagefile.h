#pragma once

#include "exchange/attachment.h"
#include "exchange/messagekind.h"

#include <QString>

#include "core/error.h"
#include "core/messagetime.h"

// One message file of the exchange folder: the whole protocol between chat
// participants. The name carries the UTC send time and a GUID; the content is
// ten NUL-joined fields: year, month, day, hour, minute, second, millisecond
// (unpadded decimal), sender name, text, sender GUID. Fields after the tenth may
// carry the record of attached files (exchange/attachment.h).

namespace quillet {

struct ReceivedMessage
{
    QString senderName;
    QString text;        // line breaks as CR LF, whatever form they had in the file
    MessageTime utcTime; // day of week 0
    MessageKind kind = MessageKind::Other;
    QList<Attachment> attachments; // each checked, with its own error
};

// The caption of a message with files: empty when its text is only the summary
// of the files that copies knowing ten fields show instead.
QString captionOf(const ReceivedMessage &message);

// "2012-03-03 09-05-07-07-045 {GUID}.QLIM": the seconds appear twice.
QString messageFileName(const MessageTime &utc, const QString &guid);

// The ten fields joined by NUL. Line breaks of `text` become CR LF; NUL
// characters are removed from every field so they cannot shift the fields.
// The attachments' record follows the ten fields.
QString buildMessageContent(const MessageTime &utc, const QString &senderName, const QString &text,
                            const QString &senderGuid, const QList<Attachment> &attachments = {});

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
// The same with the message's GUID made beforehand and the files already in
// its Files/<GUID>/ folder; an empty `text` becomes the files' summary.
Result<QString> writeMessageFile(const QString &folder, const QString &messageGuid,
                                 const QString &senderName, const QString &text,
                                 const QString &myGuid, const QList<Attachment> &attachments);

// Every line break (CR LF, lone CR, lone LF, U+2028, U+2029) as CR LF.
QString normalizeLineBreaks(const QString &text);

} // namespace quillet
