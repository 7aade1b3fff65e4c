#include "gui/shell.h"

#include <cerrno>

#include <QDesktopServices>
#include <QFileInfo>

namespace quillet {

namespace {

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

void Shell::setOpener(Opener value)
{
    opener() = std::move(value);
}

void Shell::resetOpener()
{
    opener() = nullptr;
}

} // namespace quillet
