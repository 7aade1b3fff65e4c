#include "chatwindow/transparency.h"

#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QWidget>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// A Wayland compositor takes no opacity for a whole window, only the alpha of
// the window's pixels.
constexpr char PassThrough[] = "quilletPassThrough";

bool hasWindowOpacity()
{
    return !QGuiApplication::platformName().startsWith("wayland"_L1);
}

} // namespace

void prepareWindowTransparency(QWidget *window)
{
    if (!window || hasWindowOpacity())
        return;
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setAttribute(Qt::WA_NoSystemBackground, false);
    window->setAutoFillBackground(true);
}

void setWindowTransparency(QWidget *window, int value, bool valueIsPercent)
{
    if (!window)
        return;
    const int alpha = transparencyAlpha(value, valueIsPercent);
    if (hasWindowOpacity()) {
        // Qt takes the opacity as a fraction; alpha / 255 maps back onto the
        // same byte the window system uses.
        window->setWindowOpacity(alpha / 255.0);
        return;
    }
    // The window and all its children are drawn through one opacity effect
    // into the window's translucent buffer.
    const bool opaque = alpha == 255;
    if (opaque) {
        window->setGraphicsEffect(nullptr);
    } else {
        auto *effect = qobject_cast<QGraphicsOpacityEffect *>(window->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(window);
            window->setGraphicsEffect(effect);
        }
        effect->setOpacity(alpha / 255.0);
    }
    // Qt repaints a child that paints all of its own pixels (a text view's
    // viewport, a picture button) straight into the window's buffer, past the
    // window's effect; an effect of its own that changes nothing takes it
    // through the window's one.
    for (QWidget *child : window->findChildren<QWidget *>()) {
        const bool passThrough =
            child->graphicsEffect() && child->graphicsEffect()->property(PassThrough).toBool();
        if (opaque && passThrough) {
            child->setGraphicsEffect(nullptr);
        } else if (!opaque && !child->graphicsEffect() && !child->isWindow() &&
                   (child->autoFillBackground() || child->testAttribute(Qt::WA_OpaquePaintEvent))) {
            auto *effect = new QGraphicsOpacityEffect(child);
            effect->setOpacity(1.0);
            effect->setProperty(PassThrough, true);
            child->setGraphicsEffect(effect);
        }
    }
}

} // namespace quillet
