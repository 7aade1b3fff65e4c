#pragma once

#include "exchange/messagefile.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <deque>

namespace quillet {

// One message of a chat's conversation as it was shown, with the name of the
// message file it came from as the file system has it (empty for the program's
// own lines): bytes, half the memory of a QString.
struct ConversationMessage
{
    ReceivedMessage message;
    QByteArray fileName;
};

// The conversation of one chat session, in the order it was shown. The chat
// session appends what it receives, the window the program's own lines; the
// view and the conversation log are both made from it.
class Conversation final
{
public:
    // The message stays where it is: references to it stay valid.
    const ConversationMessage &append(ConversationMessage message);

    qsizetype size() const { return qsizetype(m_messages.size()); }
    bool isEmpty() const { return m_messages.empty(); }
    const ConversationMessage &at(qsizetype index) const { return m_messages.at(size_t(index)); }

private:
    // In chunks: no spare room for half again the messages, as a list keeps.
    std::deque<ConversationMessage> m_messages;
    // Every sender's name is held once, however many messages carry it.
    QSet<QString> m_names;
};

} // namespace quillet
