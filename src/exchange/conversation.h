#pragma once

#include "exchange/messagefile.h"

#include <QList>
#include <QSet>
#include <QString>

namespace quillet {

// One message of a chat's conversation as it was shown, with the message file
// it came from (empty for the program's own lines).
struct ConversationMessage
{
    ReceivedMessage message;
    QString fileName;
};

// The conversation of one chat session, in the order it was shown. The chat
// session appends what it receives, the window the program's own lines; the
// view and the conversation log are both made from it.
class Conversation final
{
public:
    const ConversationMessage &append(ConversationMessage message);

    qsizetype size() const { return m_messages.size(); }
    bool isEmpty() const { return m_messages.isEmpty(); }
    const ConversationMessage &at(qsizetype index) const { return m_messages.at(index); }

private:
    QList<ConversationMessage> m_messages;
    // Every sender's name is held once, however many messages carry it.
    QSet<QString> m_names;
};

} // namespace quillet
