#pragma once

#include <QProcess>
#include <QString>

struct ca_context;

namespace quillet {

// The desktop's switch for event sounds: GNOME's org.gnome.desktop.sound
// event-sounds, which the GTK desktops share. It is read and then followed with
// the gsettings tool in a child process: GIO's own connection to the session bus
// would end this process when the bus goes. Without the tool or the schema the
// switch counts as on.
class DesktopSoundSwitch final
{
public:
    DesktopSoundSwitch();
    ~DesktopSoundSwitch();
    Q_DISABLE_COPY_MOVE(DesktopSoundSwitch)

    bool isOn() const { return m_on; }

private:
    void read(QProcess &process);

    QProcess m_value;
    QProcess m_changes;
    bool m_on = true;
};

// The desktop's event sounds, played from its sound theme through libcanberra
// while the desktop's switch allows them; nothing is reported where no sound
// device or service answers.
class EventSound final
{
public:
    EventSound() = default;
    ~EventSound();
    Q_DISABLE_COPY_MOVE(EventSound)

    // Starts the theme's sound of that event ("message-new-instant"); true
    // when it began to play.
    bool play(const char *eventId, const QString &description);
    bool desktopAllows() const { return m_switch.isOn(); }
    // The number of sounds that began to play.
    int playedCount() const { return m_played; }

private:
    DesktopSoundSwitch m_switch;
    ca_context *m_context = nullptr;
    int m_played = 0;
};

} // namespace quillet
