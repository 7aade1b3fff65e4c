#include "gui/shell.h"

#include <cerrno>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr int ShowItemsTimeoutMs = 3000;

Shell::Opener &opener()
{
    static Shell::Opener value;
    return value;
}

} // namespace

Status Shell::openFolder(const QString &folder)
{
    if (folder.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    const QFileInfo info(folder);
    if (!info.exists())
        return Error::fromErrno(ENOENT);
    if (!info.isDir())
        return Error::fromErrno(ENOTDIR);
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    const bool opened = opener() ? opener()(url) : QDesktopServices::openUrl(url);
    if (!opened)
        return Error::make(ErrorCode::ShellOpenFailed);
    return {};
}

Status Shell::showInFolder(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists() && !info.isSymLink())
        return Error::fromErrno(ENOENT);
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    if (opener())
        return opener()(url) ? Status() : Status(Error::make(ErrorCode::ShellOpenFailed));
    const QString folder = info.absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return openFolder(folder);
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.FileManager1"_s, u"/org/freedesktop/FileManager1"_s,
        u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList{url.toString(QUrl::FullyEncoded)} << QString();
    // Asked without waiting: a file manager started for the call may take a while.
    auto *reply = new QDBusPendingCallWatcher(bus.asyncCall(call, ShowItemsTimeoutMs), qApp);
    QObject::connect(reply, &QDBusPendingCallWatcher::finished, reply, [folder, reply] {
        if (reply->isError())
            (void)openFolder(folder);
        reply->deleteLater();
    });
    return {};
}

void Shell::setOpener(Opener value)
{
    opener() = std::move(value);
}

void Shell::resetOpener()
{
    opener() = nullptr;
}

} // namespace quillet
