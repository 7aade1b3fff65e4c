#pragma once

#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// An independent reader of Desktop Entry files, written from the format's
// rules, so the writer's quoting is checked against the reading a desktop does.
namespace DesktopEntryReader {

// Undoes the general escaping of string values; nullopt on an unknown escape.
inline std::optional<QString> unescapeValue(const QString &raw)
{
    QString value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != QLatin1Char('\\')) {
            value += raw[i];
            continue;
        }
        if (++i == raw.size())
            return std::nullopt;
        switch (raw[i].unicode()) {
        case 's':
            value += QLatin1Char(' ');
            break;
        case 'n':
            value += QLatin1Char('\n');
            break;
        case 't':
            value += QLatin1Char('\t');
            break;
        case 'r':
            value += QLatin1Char('\r');
            break;
        case '\\':
            value += QLatin1Char('\\');
            break;
        default:
            return std::nullopt;
        }
    }
    return value;
}

// Blanks and tabs around "=" are layout, not part of the key or the value.
inline QString blanksTrimmed(QString text)
{
    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    return text.mid(start);
}

// The keys of the [Desktop Entry] group, values unescaped; nullopt when the
// text is not a well-formed entry.
inline std::optional<QMap<QString, QString>> parseEntry(const QByteArray &text)
{
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    QMap<QString, QString> keys;
    bool inGroup = false;
    for (const QString &line : lines) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return std::nullopt;
        if (!inGroup)
            continue;
        const std::optional<QString> value = unescapeValue(blanksTrimmed(line.mid(equals + 1)));
        if (!value)
            return std::nullopt;
        keys.insert(blanksTrimmed(line.left(equals)), *value);
    }
    return keys;
}

inline std::optional<QMap<QString, QString>> readEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseEntry(file.readAll());
}

inline bool isReserved(QChar c)
{
    return QStringLiteral(" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

// Splits an unescaped Exec value into its arguments by the quoting rules:
// outside double quotes no reserved character may stand; inside them '"',
// '`', '$' and '\' must be escaped by a backslash; "%%" is a literal '%'
// and no other field code is expected. nullopt when the value breaks a rule.
inline std::optional<QStringList> splitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    const qsizetype n = exec.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = exec[i];
        if (c == QLatin1Char(' ')) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
        } else if (c == QLatin1Char('%')) {
            if (i + 1 == n || exec[i + 1] != QLatin1Char('%'))
                return std::nullopt;
            current += c;
            ++i;
            inArgument = true;
        } else if (c == QLatin1Char('"')) {
            inArgument = true;
            for (++i;; ++i) {
                if (i == n)
                    return std::nullopt;
                const QChar d = exec[i];
                if (d == QLatin1Char('"'))
                    break;
                if (d == QLatin1Char('\\')) {
                    if (++i == n || !QStringLiteral("\"`$\\").contains(exec[i]))
                        return std::nullopt;
                    current += exec[i];
                } else if (d == QLatin1Char('`') || d == QLatin1Char('$')) {
                    return std::nullopt; // must be escaped inside quotes
                } else if (d == QLatin1Char('%')) {
                    if (++i == n || exec[i] != QLatin1Char('%'))
                        return std::nullopt;
                    current += d;
                } else {
                    current += d;
                }
            }
        } else if (isReserved(c)) {
            return std::nullopt;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.append(current);
    return arguments;
}

} // namespace DesktopEntryReader
