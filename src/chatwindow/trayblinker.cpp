#include "chatwindow/trayblinker.h"

namespace quillet {

TrayBlinker::TrayBlinker(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(PhaseMs);
    connect(&m_timer, &QTimer::timeout, this, &TrayBlinker::nextPhase);
}

void TrayBlinker::setBlinking(bool blinking)
{
    if (blinking == isBlinking())
        return;
    if (blinking) {
        m_messagePhase = false;
        nextPhase(); // the message icon shows at once
        m_timer.start();
    } else {
        m_timer.stop();
        emit iconChanged(m_restIcon);
    }
}

void TrayBlinker::nextPhase()
{
    m_messagePhase = !m_messagePhase;
    emit iconChanged(m_messagePhase ? m_messageIcon : m_emptyIcon);
}

} // namespace quillet
