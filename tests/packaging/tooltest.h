#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

// Runs the system's desktop and packaging tools (cmake, cpack, validators, xdg-mime)
// as the desktop or dpkg would, and keeps everything they print for the failure text.
struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;

    bool ok() const { return exitCode == 0; }
    QString report() const { return QStringLiteral("exit %1\n%2\n%3").arg(exitCode).arg(out, err); }
};

inline ToolRun
runTool(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
        const QString &workingDirectory = {})
{
    ToolRun run;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty() && !QFile::exists(program)) {
        run.err = program + QStringLiteral(" is not installed (scripts/install-deps.sh)");
        return run;
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(path.isEmpty() ? program : path, arguments);
    // Building the package may take minutes on a busy machine.
    if (!process.waitForFinished(9 * 60 * 1000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish: ") + process.errorString();
        return run;
    }
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

// The files the program installs, relative to the installation prefix.
inline QStringList installedIconSizes()
{
    return {QStringLiteral("16"), QStringLiteral("24"),  QStringLiteral("32"), QStringLiteral("48"),
            QStringLiteral("64"), QStringLiteral("128"), QStringLiteral("256")};
}

inline QString iconPath(const QString &size)
{
    return QStringLiteral("share/icons/hicolor/%1x%1/apps/quillet-im.png").arg(size);
}

inline const QString chatMimeType = QStringLiteral("application/x-quillet-chat");
inline const QString desktopEntryPath = QStringLiteral("share/applications/quillet-im.desktop");
inline const QString mimePackagePath = QStringLiteral("share/mime/packages/quillet-im.xml");
inline const QString metainfoPath =
    QStringLiteral("share/metainfo/com.greyhollowstudios.quilletim.metainfo.xml");
inline const QString scalableIconPath =
    QStringLiteral("share/icons/hicolor/scalable/apps/quillet-im.svg");
inline const QString manPagePath = QStringLiteral("share/man/man1/quillet-im.1.gz");
inline const QString russianManPagePath = QStringLiteral("share/man/ru/man1/quillet-im.1.gz");
inline const QString executablePath = QStringLiteral("bin/quillet-im");
