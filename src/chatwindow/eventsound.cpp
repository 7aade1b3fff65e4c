#include "chatwindow/eventsound.h"

#include "platform/terminationsignals.h"

#include <QCoreApplication>

#include <canberra.h>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

const QStringList SwitchKey = {u"org.gnome.desktop.sound"_s, u"event-sounds"_s};

void startTool(QProcess &process, const QString &command)
{
    process.setProgram(u"gsettings"_s);
    process.setArguments(QStringList{command} + SwitchKey);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier(endWithParent);
    process.start(QIODevice::ReadOnly);
}

} // namespace

DesktopSoundSwitch::DesktopSoundSwitch()
{
    // Changes are followed from before the value is read: none falls between.
    QObject::connect(&m_changes, &QProcess::readyReadStandardOutput, &m_changes,
                     [this] { read(m_changes); });
    QObject::connect(&m_value, &QProcess::readyReadStandardOutput, &m_value,
                     [this] { read(m_value); });
    startTool(m_changes, u"monitor"_s);
    startTool(m_value, u"get"_s);
}

DesktopSoundSwitch::~DesktopSoundSwitch()
{
    for (QProcess *process : {&m_changes, &m_value}) {
        process->kill();
        process->waitForFinished(1000);
    }
}

// "true" from get, "event-sounds: false" from monitor: the last word tells.
void DesktopSoundSwitch::read(QProcess &process)
{
    while (process.canReadLine()) {
        const QByteArray word = process.readLine().trimmed().split(' ').last();
        if (word == "true" || word == "false")
            m_on = word == "true";
    }
}

EventSound::~EventSound()
{
    if (m_context)
        ca_context_destroy(m_context);
}

bool EventSound::play(const char *eventId, const QString &description)
{
    if (!m_switch.isOn())
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

} // namespace quillet
