#pragma once

#include "messagekind.h"

#include <QString>

#include "error.h"
#include "systemtime.h"

// One message file of the exchange folder: the whole protocol between chat
// participants. The name carries the UTC send time and a GUID; the content is
// ten NUL-joined fields: year, month, day, hour, minute, second, millisecond
// (unpadded decimal), sender name, text, sender GUID.

struct ReceivedMessage
{
    QString senderName;
    QString text;       // line breaks as CR LF, whatever form they had in the file
    SystemTime utcTime; // day of week 0
    MessageKind kind = MessageKind::Other;
};

// "2012-03-03 09-05-07-07-045 {GUID}.QLIM": the seconds appear twice.
QString MessageFileName(const SystemTime &utc, const QString &guid);

// The ten fields joined by NUL. Line breaks of `text` become CR LF; NUL
// characters are removed from every field so they cannot shift the fields.
QString BuildMessageContent(const SystemTime &utc, const QString &senderName, const QString &text,
                            const QString &senderGuid);

// Splits at every NUL, keeping empty fields. Nine fields: Own; ten or more:
// Own when field 9 equals `myGuid` exactly, Other otherwise.
Result<ReceivedMessage> ParseMessageContent(const QString &content, const QString &myGuid);
Result<ReceivedMessage> ReadMessageFile(const QString &path, const QString &myGuid);

// One Clock::utcSystemTime() reading and one bfGetNewGUID() give name and time
// fields; line breaks of `text` become CR LF; written atomically with
// TextFileIO::WriteTextFile. Returns the file's full path.
Result<QString> WriteMessageFile(const QString &folder, const QString &senderName,
                                 const QString &text, const QString &myGuid);

// Every line break (CR LF, lone CR, lone LF, U+2028, U+2029) as CR LF.
QString normalizeLineBreaks(const QString &text);
