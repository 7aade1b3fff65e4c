#include "exchange/attachmentcheck.h"

#include <cerrno>

#include <QFile>

#include "exchange/sha256.h"
#include "platform/folderaccess.h"

namespace quillet {

namespace {

AttachmentStatus refused(int error)
{
    return {AttachmentState::Refused, fileError(error)};
}

AttachmentStatus statusOf(int error)
{
    return error == ENOENT ? AttachmentStatus{} : refused(error);
}

} // namespace

Error fileError(int code)
{
    return Error::make(code == NotRegularFileError ? int(ErrorCode::NotRegularFile) : code);
}

AttachmentStatus checkAttachment(const QString &exchangeFolder, const Attachment &attachment,
                                 const std::atomic_bool &stop, FileStamp *unchanged)
{
    if (!attachment.ok())
        return {AttachmentState::Refused, attachment.error};
    QByteArrayList parts = QFile::encodeName(attachment.path).split('/');
    const QByteArray name = parts.takeLast();
    FileDescriptor base;
    FileDescriptor folder;
    FileDescriptor file;
    FileStamp stamp;
    int error = openFolder(QFile::encodeName(exchangeFolder), base);
    if (!error)
        error = openFolderBeneath(base.get(), parts, folder);
    if (!error)
        error = openRegularFileAt(folder.get(), name, file, stamp);
    if (error)
        return statusOf(error);
    const AttachmentStatus arriving{AttachmentState::Arriving, {}};
    if (stamp.size != attachment.size || (unchanged && *unchanged == stamp))
        return arriving;
    QByteArray digest;
    error = hashFile(file.get(), attachment.size, stop, digest);
    if (error == ECANCELED || error == ENODATA)
        return arriving;
    if (error)
        return refused(error);
    if (digest == attachment.sha256)
        return {AttachmentState::Ready, {}};
    if (unchanged)
        *unchanged = stamp;
    return arriving;
}

AttachmentChecker::AttachmentChecker(const QString &exchangeFolder, QObject *parent)
    : QObject(parent), m_exchangeFolder(exchangeFolder)
{
    // One file at a time: hashing two large files at once only shares the disk.
    m_worker.setMaxThreadCount(1);
    m_recheck.setInterval(RecheckIntervalMs);
    connect(&m_recheck, &QTimer::timeout, this, &AttachmentChecker::checkPending);
}

AttachmentChecker::~AttachmentChecker()
{
    m_stop = true;
    m_worker.waitForDone();
}

void AttachmentChecker::watch(const Attachment &attachment)
{
    m_pending.insert(attachment.path, Watched{attachment, {}, false, {}});
    checkPending();
    m_recheck.start();
}

void AttachmentChecker::checkPending()
{
    if (m_checking || m_pending.isEmpty())
        return;
    m_checking = true;
    m_worker.start([this, batch = m_pending]() mutable {
        for (Watched &watched : batch) {
            watched.status =
                checkAttachment(m_exchangeFolder, watched.attachment, m_stop, &watched.unchanged);
        }
        QMetaObject::invokeMethod(
            this, [this, batch] { takeResults(batch); }, Qt::QueuedConnection);
    });
}

void AttachmentChecker::takeResults(const QHash<QString, Watched> &checked)
{
    m_checking = false;
    for (const Watched &result : checked) {
        const auto pending = m_pending.find(result.attachment.path);
        if (pending == m_pending.end())
            continue;
        const bool changed = !pending->reported || pending->status.state != result.status.state;
        pending->status = result.status;
        pending->unchanged = result.unchanged;
        pending->reported = true;
        if (changed)
            emit stateChanged(result.attachment.path, result.status.state, result.status.why);
        const AttachmentState state = result.status.state;
        if (state == AttachmentState::Ready || state == AttachmentState::Refused)
            m_pending.erase(pending);
    }
    if (m_pending.isEmpty())
        m_recheck.stop();
}

} // namespace quillet
