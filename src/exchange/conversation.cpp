#include "exchange/conversation.h"

namespace quillet {

const ConversationMessage &Conversation::append(ConversationMessage message)
{
    QString &name = message.message.senderName;
    if (const auto known = m_names.constFind(name); known != m_names.cend())
        name = *known;
    else
        m_names.insert(name);
    // Texts are often made with room to grow; the conversation keeps them for good.
    message.message.text.squeeze();
    message.fileName.squeeze();
    m_messages.push_back(std::move(message));
    return m_messages.back();
}

} // namespace quillet
