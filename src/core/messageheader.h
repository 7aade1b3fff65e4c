#pragma once

#include "core/messagetime.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace quillet {

// The header of a message as the conversation and its log show it: either
// "(HH:mm:ss - dd.MM.yyyy) Name:  " with the text following on the same line, or,
// when the name goes on a separate line, "Name  (HH:mm:ss - dd.MM.yyyy)" alone on
// its line above the text (no line break included). `localTime` is the wall-clock
// time to show, `name` the name as it is to be shown.
QString messageHeaderText(const QString &name, const MessageTime &localTime, bool separateLine);

// A message header found in a conversation's plain text.
struct MessageHeader
{
    qsizetype start = 0;     // where the header's line begins
    qsizetype bodyStart = 0; // where the text begins: after ":  ", or on the next line
    QString sender;          // trimmed
    MessageTime time;        // the local time the header shows
    bool separateLine = false;
};

// The message headers of a conversation's plain text (lines ended by '\n'), in
// text order: every line of either header form whose time is a real date and time.
// Fast enough for whole collections of logs: most lines are dismissed by their
// first and last character.
QList<MessageHeader> findMessageHeaders(QStringView text);

} // namespace quillet
