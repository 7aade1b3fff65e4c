#include "gui/fileactions.h"

#include "core/links.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QThreadPool>
#include <QUrl>
#include <QWidget>

#include <cerrno>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 CopyChunk = 1 << 20;

void reportFailure(QWidget *parent, const Error &error, const QString &path)
{
    Boxes::showError(parent, error, BoxStyle{BoxButtons::Ok, BoxIcon::Stop}, path);
}

// A file sent with a message lies in <exchange folder>/Files/<GUID>/: those two
// folders may no more be links than the file itself, as when it was received.
bool inLinkedFilesFolder(const QString &path)
{
    const QString messageFolder = parentFolder(path);
    const QString filesFolder = parentFolder(messageFolder);
    return fileNameOf(filesFolder) == "Files"_L1 &&
           (QFileInfo(filesFolder).isSymLink() || QFileInfo(messageFolder).isSymLink());
}

// A regular file, not a link to one; the error otherwise.
Status checkRegularFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return Error::fromErrno(ENOENT);
    if (info.isSymLink() || inLinkedFilesFolder(path))
        return Error::fromErrno(ELOOP);
    if (!info.isFile())
        return Error::make(ErrorCode::NotRegularFile);
    return {};
}

Status copyFile(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return Error::make(ErrorCode::ReadFailed);
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly))
        return Error::make(ErrorCode::WriteFailed);
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(CopyChunk);
        if (chunk.isEmpty() && source.error() != QFile::NoError)
            return Error::make(ErrorCode::ReadFailed);
        if (target.write(chunk) != chunk.size())
            return Error::make(ErrorCode::WriteFailed);
    }
    if (!target.commit())
        return Error::make(ErrorCode::WriteFailed);
    return {};
}

} // namespace

void openFile(QWidget *parent, const QString &path)
{
    if (const Status regular = checkRegularFile(path); !regular) {
        reportFailure(parent, regular.error(), path);
        return;
    }
    if (mightRun(path)) {
        showFileInFolder(parent, path);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        reportFailure(parent, Error::make(ErrorCode::ShellOpenFailed), path);
}

void showFileInFolder(QWidget *parent, const QString &path)
{
    if (const Status shown = Shell::showInFolder(path); !shown)
        reportFailure(parent, shown.error(), path);
}

void saveFileCopy(QWidget *parent, const QString &path)
{
    if (const Status regular = checkRegularFile(path); !regular) {
        reportFailure(parent, regular.error(), path);
        return;
    }
    FileDialog dialog;
    dialog.setOwnerWindow(parent);
    dialog.setInitialFolder(path); // names the file as it came
    if (!dialog.showSave() || dialog.fileName() == path)
        return;
    const QString target = dialog.fileName();
    QPointer<QWidget> owner(parent);
    QThreadPool::globalInstance()->start([path, target, owner] {
        const Status copied = copyFile(path, target);
        if (copied)
            return;
        QMetaObject::invokeMethod(
            qApp, [copied, target, owner] { reportFailure(owner, copied.error(), target); });
    });
}

} // namespace quillet
