#include "exchange/filesender.h"

#include <cerrno>
#include <thread>

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>

#include "core/support.h"
#include "exchange/attachmentcheck.h"
#include "exchange/messagefile.h"
#include "exchange/sha256.h"
#include "platform/folderaccess.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// The error of one chosen file, named in its text for the box that shows it.
Error sourceError(const QString &source, int code)
{
    const Error error = fileError(code);
    return {error.number, u"%1: %2"_s.arg(QFileInfo(source).fileName(), error.description)};
}

// Hashes the copy's bytes as they are written, so the digest is of what lies in
// the exchange folder. `written` is the bytes written so far, -1 when the copy
// has stopped.
int hashBehind(int fd, qint64 size, std::atomic<qint64> &written, QByteArray &digest)
{
    Sha256 sha;
    for (qint64 done = 0; done < size;) {
        qint64 ready = written.load();
        for (; ready == done; ready = written.load())
            written.wait(ready);
        if (ready < 0)
            return ECANCELED;
        if (const int error = sha.addFileRange(fd, done, ready))
            return error;
        done = ready;
    }
    digest = sha.result();
    return 0;
}

// Copies `size` bytes inside the kernel and makes them durable while a second
// thread hashes them.
int copyAndHash(int from, int to, qint64 size, const std::atomic_bool &cancel,
                const std::function<void(qint64)> &copied, QByteArray &digest)
{
    std::atomic<qint64> written = 0;
    int hashError = 0;
    std::thread hasher([&] { hashError = hashBehind(to, size, written, digest); });
    int error = 0;
    for (qint64 done = 0; !error && done < size;) {
        qint64 n = 0;
        error = cancel ? int(ErrorCode::SendCancelled)
                       : copyBytes(from, to, qMin(FileChunkSize, size - done), n);
        if (!error && n == 0)
            error = ErrorCode::AttachmentSourceChanged; // it shrank
        if (error)
            break;
        // Written back as it goes, the data need no long flush at the end.
        startWriteback(to, done, n);
        done += n;
        written.store(done);
        written.notify_one();
        copied(n);
    }
    // Made durable while the hash catches up: hashing is the slower of the two.
    if (!error)
        error = syncData(to);
    if (error) {
        written.store(-1);
        written.notify_one();
    }
    hasher.join();
    return error ? error : hashError;
}

// The message's folder Files/<GUID>/ while files go in. Unless kept, it takes
// everything it made away again: the files, its folder and a Files folder it made.
class SendTarget final
{
public:
    explicit SendTarget(const QString &guid) : m_guid(guid) {}
    ~SendTarget();
    Q_DISABLE_COPY_MOVE(SendTarget)

    int open(const QString &exchangeFolder);
    Result<Attachment> copyIn(const QString &source, const std::atomic_bool &cancel,
                              const std::function<void(qint64)> &copied);
    void keep() { m_kept = true; }

private:
    int copyFile(const QString &source, const std::atomic_bool &cancel,
                 const std::function<void(qint64)> &copied, qint64 &size, QByteArray &digest);

    QString m_guid;
    FileDescriptor m_exchange;
    FileDescriptor m_files;
    FileDescriptor m_folder;
    bool m_madeFiles = false;
    QByteArray m_temporary;
    QByteArrayList m_moved;
    bool m_kept = false;
};

SendTarget::~SendTarget()
{
    if (m_kept)
        return;
    if (m_folder.get() >= 0) {
        if (!m_temporary.isEmpty())
            removeFileAt(m_folder.get(), m_temporary);
        for (const QByteArray &name : std::as_const(m_moved))
            removeFileAt(m_folder.get(), name);
        removeFolderAt(m_files.get(), QFile::encodeName(m_guid));
    }
    if (m_madeFiles)
        removeFolderAt(m_exchange.get(), QFile::encodeName(attachmentFolder(m_guid)).split('/')[0]);
}

int SendTarget::open(const QString &exchangeFolder)
{
    const QByteArrayList parts = QFile::encodeName(attachmentFolder(m_guid)).split('/');
    int error = openFolder(QFile::encodeName(exchangeFolder), m_exchange);
    if (!error)
        error = openFolderBeneath(m_exchange.get(), {parts[0]}, m_files);
    if (error == ENOENT) {
        error = makeFolderAt(m_exchange.get(), parts[0], m_files);
        m_madeFiles = !error;
    }
    return error ? error : makeFolderAt(m_files.get(), parts[1], m_folder);
}

int SendTarget::copyFile(const QString &source, const std::atomic_bool &cancel,
                         const std::function<void(qint64)> &copied, qint64 &size,
                         QByteArray &digest)
{
    FileDescriptor from;
    FileStamp before;
    if (const int error = openRegularFile(QFile::encodeName(source), from, before))
        return error;
    size = before.size;
    // Grown since it was chosen: receivers would refuse it.
    if (size > MaxAttachmentSize)
        return ErrorCode::AttachmentTooLarge;
    // Syncthing takes "~syncthing~*.tmp" for its own temporary file and Nextcloud
    // skips "~*.tmp": neither carries the file before it has its name.
    m_temporary = "~syncthing~" + QByteArray::number(m_moved.size()) + ".quillet.tmp";
    FileDescriptor to;
    int error = createFileAt(m_folder.get(), m_temporary, to);
    if (!error)
        error = copyAndHash(from.get(), to.get(), size, cancel, copied, digest);
    FileStamp after;
    if (!error)
        error = stampOf(from.get(), after);
    if (!error && (after.size != before.size || after.modifiedNs != before.modifiedNs))
        error = ErrorCode::AttachmentSourceChanged;
    if (const int closed = to.close(); !error)
        error = closed;
    return error;
}

Result<Attachment> SendTarget::copyIn(const QString &source, const std::atomic_bool &cancel,
                                      const std::function<void(qint64)> &copied)
{
    Attachment attachment;
    const QString name = QFileInfo(source).fileName();
    int error = copyFile(source, cancel, copied, attachment.size, attachment.sha256);
    if (!error)
        error = renameAtNoReplace(m_folder.get(), m_temporary, QFile::encodeName(name));
    if (error)
        return sourceError(source, error);
    m_moved.append(QFile::encodeName(name));
    m_temporary.clear();
    attachment.path = attachmentFolder(m_guid) + '/'_L1 + name;
    attachment.type = QMimeDatabase().mimeTypeForFile(source).name();
    return attachment;
}

} // namespace

Result<qint64> checkSendSources(const QStringList &sources)
{
    if (sources.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    if (sources.size() > MaxAttachments)
        return Error::make(ErrorCode::AttachmentTooMany);
    qint64 total = 0;
    QSet<QString> names;
    for (const QString &source : sources) {
        FileDescriptor fd;
        FileStamp stamp;
        const QString name = QFileInfo(source).fileName();
        int error = openRegularFile(QFile::encodeName(source), fd, stamp);
        if (!error && stamp.size > MaxAttachmentSize)
            error = ErrorCode::AttachmentTooLarge;
        if (!error)
            error = checkAttachmentName(name);
        if (!error && names.contains(name))
            error = ErrorCode::AttachmentSameName;
        if (error)
            return sourceError(source, error);
        names.insert(name);
        total += stamp.size;
    }
    return total;
}

Result<QString> sendFiles(const FileSendRequest &request, const std::atomic_bool &cancel,
                          const SendProgress &progress)
{
    const Result<qint64> total = checkSendSources(request.sources);
    if (!total)
        return total.error();
    const QString guid = newGuid();
    SendTarget target(guid);
    if (const int error = target.open(request.exchangeFolder))
        return fileError(error);
    QList<Attachment> attachments;
    qint64 done = 0;
    for (const QString &source : request.sources) {
        Result<Attachment> attachment = target.copyIn(source, cancel, [&](qint64 copied) {
            done += copied;
            progress(done, total.value());
        });
        if (!attachment)
            return attachment.error();
        attachments.append(std::move(attachment.value()));
    }
    if (cancel)
        return Error::make(ErrorCode::SendCancelled);
    const Result<QString> path = writeMessageFile(request.exchangeFolder, guid, request.senderName,
                                                  request.caption, request.myGuid, attachments);
    if (path)
        target.keep();
    return path;
}

FileSendJob::FileSendJob(FileSendRequest request, QObject *parent)
    : QObject(parent), m_request(std::move(request))
{}

FileSendJob::~FileSendJob()
{
    m_cancel = true;
    if (m_thread)
        m_thread->wait();
    delete m_thread;
}

void FileSendJob::start()
{
    m_thread = QThread::create([this] {
        const Result<QString> path =
            sendFiles(m_request, m_cancel,
                      [this](qint64 done, qint64 total) { emit progressed(done, total); });
        if (path)
            emit finished(path.value());
        else
            emit failed(path.error());
    });
    m_thread->start();
}

} // namespace quillet
