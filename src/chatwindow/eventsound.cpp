#include "chatwindow/eventsound.h"

#include <QCoreApplication>

#include <canberra.h>
#undef signals // GLib's headers use the word that Qt defines
#include <gio/gio.h>

namespace quillet {

EventSound::~EventSound()
{
    if (m_context)
        ca_context_destroy(m_context);
}

bool EventSound::play(const char *eventId, const QString &description)
{
    if (!desktopEventSoundsOn())
        return false;
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

bool EventSound::desktopEventSoundsOn()
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    GSettingsSchema *schema =
        source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.sound", TRUE) : nullptr;
    if (!schema)
        return true;
    bool on = true;
    if (g_settings_schema_has_key(schema, "event-sounds")) {
        GSettings *settings = g_settings_new_full(schema, nullptr, nullptr);
        on = g_settings_get_boolean(settings, "event-sounds");
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return on;
}

} // namespace quillet
