#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <sys/xattr.h>

// A private home for one test: HOME and every XDG folder point into a fresh
// temporary folder, so settings, logs, locks and ledgers never touch the
// user's own, and child processes inherit the same places.
class TestEnvironment
{
public:
    TestEnvironment()
    {
        const QString root = m_dir.path();
        set("HOME", root + QStringLiteral("/home"));
        set("XDG_CONFIG_HOME", root + QStringLiteral("/config"));
        set("XDG_DATA_HOME", root + QStringLiteral("/data"));
        set("XDG_STATE_HOME", root + QStringLiteral("/state"));
        set("XDG_RUNTIME_DIR", root + QStringLiteral("/runtime"));
        for (const char *name : {"/home", "/runtime", "/chats"})
            QDir().mkpath(root + QLatin1String(name));
    }

    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QString chats() const { return path(QStringLiteral("chats")); }

    // Creates a file with the given bytes, and its folder.
    QString touch(const QString &relative, const QByteArray &bytes = {}) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot create %s", qPrintable(file));
        out.write(bytes);
        return file;
    }

    static QString readAll(const QString &file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    }

    static QString executable() { return qEnvironmentVariable("QUILLET_EXECUTABLE"); }
    static QString sourceDir() { return qEnvironmentVariable("QUILLET_SOURCE_DIR"); }

private:
    static void set(const char *name, const QString &value) { qputenv(name, value.toUtf8()); }

    QTemporaryDir m_dir;
};

// The DOS attribute text a shown message file carries ("0x2"), or empty.
inline QByteArray dosAttributes(const QString &path)
{
    char value[64] = {};
    const ssize_t size =
        getxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", value, sizeof value);
    return size > 0 ? QByteArray(value, size) : QByteArray();
}

// A message file as another participant's copy writes it: ten NUL-joined
// fields, named by its UTC send time so that name order is send order.
inline QString writeForeignMessage(const QString &folder, int hour, int minute, int second,
                                   const QString &sender, const QString &text,
                                   const QString &guid = QStringLiteral("{OTHER}"))
{
    const QStringList fields =
        QStringLiteral("2026 12 5 %1 %2 %3 0").arg(hour).arg(minute).arg(second).split(u' ') +
        QStringList{sender, text, guid};
    const QString name = QStringLiteral("2026-12-05 %1-%2-%3-00-000 %4.QLIM")
                             .arg(hour, 2, 10, QLatin1Char('0'))
                             .arg(minute, 2, 10, QLatin1Char('0'))
                             .arg(second, 2, 10, QLatin1Char('0'))
                             .arg(QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(fields.join(QChar(0)).toUtf8());
    return file.fileName();
}

inline bool setDosAttributeText(const QString &path, const QByteArray &value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", value.constData(),
                       size_t(value.size()), 0) == 0;
}

// The real executable, its boxes and windows logged to `boxLog` (and answered
// with their first button).
inline std::unique_ptr<QProcess>
startProgram(const QStringList &arguments, const QString &boxLog,
             QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    auto process = std::make_unique<QProcess>();
    environment.insert(QStringLiteral("QUILLET_BOX_LOG"), boxLog);
    process->setProcessEnvironment(environment);
    process->start(TestEnvironment::executable(), arguments);
    return process;
}

// The conversation logs written under this test's home, or under another
// copy's data folder, oldest first.
inline QStringList conversationLogs(const QString &dataHome = qEnvironmentVariable("XDG_DATA_HOME"))
{
    QStringList logs;
    QDirIterator it(dataHome + QStringLiteral("/Greyhollow Studios/Quillet IM/Logs"),
                    {QStringLiteral("*.RTF")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        logs << it.next();
    std::sort(logs.begin(), logs.end());
    return logs;
}

// A file's bytes, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
