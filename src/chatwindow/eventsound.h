#pragma once

#include <QString>

struct ca_context;

namespace quillet {

// The desktop's event sounds, played from its sound theme through
// libcanberra; nothing is reported where no sound device or service answers.
class EventSound final
{
public:
    EventSound() = default;
    ~EventSound();
    Q_DISABLE_COPY_MOVE(EventSound)

    // Starts the theme's sound of that event ("message-new-instant"); true
    // when it began to play.
    bool play(const char *eventId, const QString &description);
    // The number of sounds that began to play.
    int playedCount() const { return m_played; }

private:
    ca_context *m_context = nullptr;
    int m_played = 0;
};

} // namespace quillet
