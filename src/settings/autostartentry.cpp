#include "settings/autostartentry.h"

#include "core/support.h"
#include "core/textfile.h"

#include <algorithm>
#include <cerrno>

namespace quillet {

namespace {

// Characters that may stand in an Exec argument only inside double quotes.
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

bool needsQuoting(const QString &argument)
{
    return argument.isEmpty() || std::any_of(argument.cbegin(), argument.cend(), isReserved);
}

// Control characters other than line breaks and tabs have no escape in a
// Desktop Entry value.
bool isCarried(const QString &value)
{
    return std::none_of(value.cbegin(), value.cend(), [](QChar c) {
        return c.unicode() < 0x20 && c != QLatin1Char('\n') && c != QLatin1Char('\t') &&
               c != QLatin1Char('\r');
    });
}

QString doublePercent(QString text)
{
    return text.replace(QLatin1Char('%'), QLatin1String("%%"));
}

} // namespace

QString autostartIconName()
{
    return QStringLiteral("quillet-im");
}

QString quoteExecArgument(const QString &argument, bool alwaysQuote)
{
    if (!alwaysQuote && !needsQuoting(argument))
        return doublePercent(argument);
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return doublePercent(quoted);
}

QString escapeDesktopValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size() + 8);
    for (QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else
            escaped += c;
    }
    // Blanks at either end would be taken for the layout around "=" and dropped.
    if (escaped.endsWith(QLatin1Char(' ')))
        escaped.replace(escaped.size() - 1, 1, QStringLiteral("\\s"));
    if (escaped.startsWith(QLatin1Char(' ')))
        escaped.replace(0, 1, QStringLiteral("\\s"));
    return escaped;
}

Result<QByteArray> desktopEntryText(const AutostartEntry &entry)
{
    QStringList values{entry.name, entry.executable, entry.workingDirectory, entry.icon};
    values += entry.switches;
    values.append(entry.file);
    if (entry.executable.isEmpty() || !std::all_of(values.cbegin(), values.cend(), isCarried))
        return Error::fromErrno(EINVAL);

    QStringList exec{quoteExecArgument(entry.executable)};
    for (const QString &argument : entry.switches)
        exec.append(quoteExecArgument(argument));
    if (!entry.file.isEmpty())
        exec.append(quoteExecArgument(entry.file, true));

    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=") + escapeDesktopValue(entry.name) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + escapeDesktopValue(exec.join(QLatin1Char(' '))) +
            QLatin1Char('\n');
    if (!entry.workingDirectory.isEmpty())
        text += QStringLiteral("Path=") + escapeDesktopValue(entry.workingDirectory) +
                QLatin1Char('\n');
    if (!entry.icon.isEmpty())
        text += QStringLiteral("Icon=") + escapeDesktopValue(entry.icon) + QLatin1Char('\n');
    return text.toUtf8();
}

Status writeAutostartEntry(const QString &path, const AutostartEntry &entry)
{
    const Result<QByteArray> text = desktopEntryText(entry);
    if (!text)
        return text.error();
    if (Status folder = makePath(parentFolder(path)); !folder)
        return folder;
    return TextFile::writeAtomically(path, text.value());
}

QString stripExtension(const QString &name)
{
    const QString extension = fileExtension(name);
    if (extension.isEmpty())
        return name;
    return dropRight(name, extension.size() + 1);
}

} // namespace quillet
