#include "gui/placement.h"

#include "core/settingsstore.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// The position (and the size a window of fixed size had) stays in the value
// that every copy reads; the size of a resizable window and whether it was
// maximised are kept under a key of their own beside it.
QString sizeKey(const QString &key)
{
    return key + u"|Size"_s;
}

bool isResizable(const QWidget *window)
{
    return window->minimumSize() != window->maximumSize();
}

// Whole numbers separated by commas, exactly `count` of them.
std::optional<QList<int>> storedNumbers(const QString &section, const QString &key, int count)
{
    const QStringList parts =
        SettingsStore().loadValue(section, key, ValueKind::Text).toString().split(','_L1);
    if (parts.size() != count)
        return std::nullopt;
    QList<int> numbers;
    for (const QString &part : parts) {
        bool ok = false;
        numbers.append(part.trimmed().toInt(&ok));
        if (!ok)
            return std::nullopt;
    }
    return numbers;
}

QString joined(std::initializer_list<int> numbers)
{
    QStringList parts;
    for (int number : numbers)
        parts.append(QString::number(number));
    return parts.join(','_L1);
}

} // namespace

Status saveWindowPlacement(QWidget *window, const QString &section, const QString &key)
{
    // The position is the frame's, as move() takes it on restoring; the
    // client's would shift the window by its frame at every restore. A
    // maximised window keeps the place it had before.
    const bool maximized = window->isMaximized();
    const QRect normal = maximized ? window->normalGeometry() : window->geometry();
    const QPoint frameOffset = window->pos() - window->geometry().topLeft();
    const QPoint topLeft = normal.topLeft() + frameOffset;
    SettingsStore store;
    store.setValue(section, key, ValueKind::Text,
                   joined({topLeft.x(), topLeft.y(), normal.width(), normal.height()}));
    if (isResizable(window))
        store.setValue(section, sizeKey(key), ValueKind::Text,
                       joined({normal.width(), normal.height(), maximized ? 1 : 0}));
    return store.sync();
}

void restoreWindowPlacement(QWidget *window, const QString &section, const QString &key)
{
    if (isResizable(window)) {
        if (const auto size = storedNumbers(section, sizeKey(key), 3)) {
            const QSize smallest = window->minimumSize().expandedTo(window->minimumSizeHint());
            window->resize(QSize(size->at(0), size->at(1)).expandedTo(smallest));
            if (size->at(2) == 1)
                window->setWindowState(window->windowState() | Qt::WindowMaximized);
        }
    }
    const auto place = storedNumbers(section, key, 4);
    if (!place)
        return;
    const QPoint topLeft(place->at(0), place->at(1));
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
