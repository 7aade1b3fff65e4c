#include "glimmer.h"

brfGlimmer::brfGlimmer(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(PhaseMs);
    connect(&m_timer, &QTimer::timeout, this, &brfGlimmer::nextPhase);
}

void brfGlimmer::setBlinking(bool blinking)
{
    if (blinking == Blinking())
        return;
    if (blinking) {
        m_messagePhase = false;
        nextPhase(); // the message icon shows at once
        m_timer.start();
    } else {
        m_timer.stop();
        emit IconChange(m_restIcon);
    }
}

void brfGlimmer::nextPhase()
{
    m_messagePhase = !m_messagePhase;
    emit IconChange(m_messagePhase ? m_messageIcon : m_emptyIcon);
}
