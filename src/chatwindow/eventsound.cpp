#include "chatwindow/eventsound.h"

#include <QCoreApplication>

#include <canberra.h>

namespace quillet {

EventSound::~EventSound()
{
    if (m_context)
        ca_context_destroy(m_context);
}

bool EventSound::play(const char *eventId, const QString &description)
{
    if (!m_context) {
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            m_context = nullptr;
            return false;
        }
        const QByteArray name = QCoreApplication::applicationName().toUtf8();
        ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, name.constData(),
                                CA_PROP_APPLICATION_ID, "quillet-im", CA_PROP_APPLICATION_ICON_NAME,
                                "quillet-im", nullptr);
    }
    const QByteArray text = description.toUtf8();
    const int result = ca_context_play(m_context, 0, CA_PROP_EVENT_ID, eventId,
                                       CA_PROP_EVENT_DESCRIPTION, text.constData(), nullptr);
    if (result != CA_SUCCESS)
        return false;
    ++m_played;
    return true;
}

} // namespace quillet
