#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

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

// Sets the DOS attribute text of a file (user.DOSATTRIB), as "0x2" marks it hidden.
inline bool setDosAttributeText(const QString &path, const QByteArray &value)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", value.constData(),
                       size_t(value.size()), 0) == 0;
}
