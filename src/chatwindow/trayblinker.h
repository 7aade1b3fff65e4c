#pragma once

#include <QIcon>
#include <QObject>
#include <QTimer>

namespace quillet {

// The tray icon's blinker: while blinking it reports the message icon and the
// empty icon in turn; when blinking stops it reports the rest icon once, so
// the program icon goes back into the tray.
class TrayBlinker final : public QObject
{
    Q_OBJECT

public:
    static constexpr int PhaseMs = 500;

    explicit TrayBlinker(QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TrayBlinker)

    bool isBlinking() const { return m_timer.isActive(); }
    void setBlinking(bool blinking);

    void setMessageIcon(const QIcon &icon) { m_messageIcon = icon; }
    void setEmptyIcon(const QIcon &icon) { m_emptyIcon = icon; }
    void setRestIcon(const QIcon &icon) { m_restIcon = icon; }
    QIcon messageIcon() const { return m_messageIcon; }
    QIcon emptyIcon() const { return m_emptyIcon; }
    QIcon restIcon() const { return m_restIcon; }

signals:
    void iconChanged(const QIcon &icon);

private:
    void nextPhase();

    QTimer m_timer;
    QIcon m_messageIcon;
    QIcon m_emptyIcon;
    QIcon m_restIcon;
    bool m_messagePhase = false;
};

} // namespace quillet
