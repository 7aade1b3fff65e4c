#include "gui/placement.h"

#include "core/settingsstore.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace quillet {

using namespace Qt::StringLiterals;

void saveWindowPlacement(QWidget *window, const QString &section, const QString &key)
{
    // The position is the frame's, as move() takes it on restoring; the
    // client's would shift the window by its frame at every restore.
    const QPoint topLeft = window->pos();
    const QString text = u"%1,%2,%3,%4"_s.arg(topLeft.x())
                             .arg(topLeft.y())
                             .arg(window->width())
                             .arg(window->height());
    SettingsStore store;
    (void)store.saveValue(section, key, ValueKind::Text, text);
}

void restoreWindowPlacement(QWidget *window, const QString &section, const QString &key)
{
    SettingsStore store;
    const QStringList parts =
        store.loadValue(section, key, ValueKind::Text).toString().split(','_L1);
    if (parts.size() != 4)
        return;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok)
            return;
    }
    const QPoint topLeft(values[0], values[1]);
    if (!QGuiApplication::screenAt(topLeft + QPoint(16, 16)))
        return;
    window->move(topLeft);
}

void centerOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace quillet
