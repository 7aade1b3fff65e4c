#include "exchange/conversation.h"

namespace quillet {

const ConversationMessage &Conversation::append(ConversationMessage message)
{
    QString &name = message.message.senderName;
    if (const auto known = m_names.constFind(name); known != m_names.cend())
        name = *known;
    else
        m_names.insert(name);
    m_messages.append(std::move(message));
    return m_messages.last();
}

} // namespace quillet
