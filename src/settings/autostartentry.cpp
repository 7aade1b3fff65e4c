#include "settings/autostartentry.h"

#include "core/support.h"
#include "core/textfile.h"

#include <algorithm>
#include <cerrno>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// Characters that may stand in an Exec argument only inside double quotes.
bool isReserved(QChar c)
{
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
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
        return c.unicode() < 0x20 && c != '\n'_L1 && c != '\t'_L1 && c != '\r'_L1;
    });
}

QString doublePercent(QString text)
{
    return text.replace('%'_L1, "%%"_L1);
}

} // namespace

QString autostartIconName()
{
    return u"quillet-im"_s;
}

QString quoteExecArgument(const QString &argument, bool alwaysQuote)
{
    if (!alwaysQuote && !needsQuoting(argument))
        return doublePercent(argument);
    QString quoted = u"\""_s;
    for (QChar c : argument) {
        if (c == '"'_L1 || c == '`'_L1 || c == '$'_L1 || c == '\\'_L1)
            quoted += '\\'_L1;
        quoted += c;
    }
    quoted += '"'_L1;
    return doublePercent(quoted);
}

QString escapeDesktopValue(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size() + 8);
    for (QChar c : value) {
        if (c == '\\'_L1)
            escaped += "\\\\"_L1;
        else if (c == '\n'_L1)
            escaped += "\\n"_L1;
        else if (c == '\t'_L1)
            escaped += "\\t"_L1;
        else if (c == '\r'_L1)
            escaped += "\\r"_L1;
        else
            escaped += c;
    }
    // Blanks at either end would be taken for the layout around "=" and dropped.
    if (escaped.endsWith(' '_L1))
        escaped.replace(escaped.size() - 1, 1, u"\\s"_s);
    if (escaped.startsWith(' '_L1))
        escaped.replace(0, 1, u"\\s"_s);
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

    QString text = u"[Desktop Entry]\nType=Application\n"_s;
    text += u"Name="_s + escapeDesktopValue(entry.name) + '\n'_L1;
    text += u"Exec="_s + escapeDesktopValue(exec.join(' '_L1)) + '\n'_L1;
    if (!entry.workingDirectory.isEmpty())
        text += u"Path="_s + escapeDesktopValue(entry.workingDirectory) + '\n'_L1;
    if (!entry.icon.isEmpty())
        text += u"Icon="_s + escapeDesktopValue(entry.icon) + '\n'_L1;
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
