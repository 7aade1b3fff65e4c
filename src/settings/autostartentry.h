#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillet {

// A Desktop Entry in the autostart folder that starts the program at log-on:
// what the shell link in the Startup folder is on other systems.
struct AutostartEntry
{
    QString name;             // the Name= shown by the desktop
    QString executable;       // the program started
    QStringList switches;     // its leading arguments, quoted only where needed
    QString file;             // the last argument, always quoted; may be empty
    QString workingDirectory; // Path=, may be empty
    QString icon;             // Icon=, an icon name or a full path
};

// The icon name the program is installed under.
QString autostartIconName();

// One Exec argument quoted by the Desktop Entry rules when it needs quoting:
// inside double quotes '"', '`', '$' and '\' get a backslash, and every '%'
// is doubled so it is never read as a field code.
QString quoteExecArgument(const QString &argument, bool alwaysQuote = false);
// The general string escaping of a Desktop Entry value ("\\", "\n", "\t", "\r",
// and "\s" for a blank at either end).
QString escapeDesktopValue(const QString &value);

// The whole entry as UTF-8 text, or an error when a value holds a character
// that a Desktop Entry cannot carry (NUL and the other control characters).
Result<QByteArray> desktopEntryText(const AutostartEntry &entry);
// Writes the entry atomically to `path`, creating its folder when missing.
Status writeAutostartEntry(const QString &path, const AutostartEntry &entry);

// The name without its last extension: "Беседа.QLIMChat.desktop" gives
// "Беседа.QLIMChat"; a name without a dot is returned unchanged.
QString stripExtension(const QString &name);

} // namespace quillet
