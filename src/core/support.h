#pragma once

#include "core/error.h"

#include <QFlags>
#include <QString>

// The small system services the program is built on: paths, special folders,
// identity, GUIDs, trimming and size texts.

namespace quillet {

// The program's own name: caption of every box and sender of system messages.
QString appTitle();

bool fileExists(const QString &path);
QString absolutePath(const QString &path);
QString parentFolder(const QString &path);
QString fileNameOf(const QString &path);
QString fileExtension(const QString &fileName);
QString dropRight(const QString &text, qsizetype count);
QString joinPath(const QString &folder, const QString &name);
Status makePath(const QString &path);
// As makePath, but every folder it has to create is the user's
// alone (0700, whatever the umask); folders that exist already stay as they are.
Status createPrivateFolder(const QString &path);
QString dataHomeFolder();  // the user's application data
QString autostartFolder(); // entries started at log-on
QString executablePath();
Result<double> fileSize(const QString &path);
QString formatByteSize(double bytes);
// "1 новое сообщение", "3 новых сообщения", "5 новых сообщений".
QString newMessagesText(int count);
QString newGuid();
QString errorNumberText(int number);
// The value of one hexadecimal digit, or -1.
int hexDigit(char c);
QString userName();
QString computerName();

// XDG base folders with their defaults under $HOME.
QString xdgConfigHome();
QString xdgDataHome();
QString xdgStateHome();

enum class TrimOption
{
    LeadingBlanks = 0x1,  // option 1: blanks, tabs, non-breaking spaces at the start
    TrailingBlanks = 0x2, // option 2: the same at the end
    LeadingBreaks = 0x4,  // option 3: CR and LF at the start
    TrailingBreaks = 0x8, // option 4: CR and LF at the end
    Controls = 0x10,      // option 5: any other control character at either end
};
Q_DECLARE_FLAGS(TrimOptions, TrimOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TrimOptions)

constexpr TrimOptions TrimBlanks{TrimOption::LeadingBlanks, TrimOption::TrailingBlanks};
constexpr TrimOptions TrimBreaks{TrimOption::LeadingBreaks, TrimOption::TrailingBreaks};
constexpr TrimOptions TrimBlanksAndBreaks = TrimBlanks | TrimBreaks;
constexpr TrimOptions TrimAll = TrimBlanksAndBreaks | TrimOption::Controls;

// Trims each end until no character of an enabled kind is left there.
QString trimText(const QString &text, TrimOptions options);

} // namespace quillet
