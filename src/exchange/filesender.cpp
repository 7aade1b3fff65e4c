#include "exchange/filesender.h"

#include <cerrno>
#include <thread>
#include <vector>

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

// Chunks read from the source, hashed by a second thread while they are written.
// The digest is of the very bytes written.
struct ChunkRing
{
    static constexpr qint64 Slots = 8;
    static constexpr qint64 SlotSize = 1024 * 1024;

    std::vector<char> bytes = std::vector<char>(size_t(Slots * SlotSize));
    std::vector<qint64> lengths = std::vector<qint64>(size_t(Slots));
    std::atomic<qint64> filled = 0; // chunks read; -1 once the copy has stopped
    std::atomic<qint64> hashed = 0; // chunks hashed

    char *slot(qint64 chunk) { return bytes.data() + (chunk % Slots) * SlotSize; }
};

// Waits until `counter` is past `value` or has been set to -1.
void waitPast(std::atomic<qint64> &counter, qint64 value)
{
    for (qint64 now = counter.load(); now >= 0 && now <= value; now = counter.load())
        counter.wait(now);
}

void hashChunks(ChunkRing &ring, qint64 size, QByteArray &digest)
{
    Sha256 sha;
    for (qint64 chunk = 0, done = 0; done < size; ++chunk) {
        waitPast(ring.filled, chunk);
        if (ring.filled.load() < 0)
            return;
        const qint64 length = ring.lengths[size_t(chunk % ChunkRing::Slots)];
        sha.add(ring.slot(chunk), length);
        done += length;
        ring.hashed.store(chunk + 1);
        ring.hashed.notify_one();
    }
    digest = sha.result();
}

// Reads exactly `length` bytes at `offset`; a file that ends before has shrunk.
int readChunk(int fd, char *buffer, qint64 length, qint64 offset)
{
    for (qint64 done = 0; done < length;) {
        qint64 got = 0;
        if (const int error = readAt(fd, buffer + done, length - done, offset + done, got))
            return error;
        if (got == 0)
            return ErrorCode::AttachmentSourceChanged;
        done += got;
    }
    return 0;
}

// Copies `size` bytes through this process while a second thread hashes them,
// for file systems the kernel cannot copy between.
int copyAndHashChunks(int from, int to, qint64 size, const std::atomic_bool &cancel,
                      const std::function<void(qint64)> &copied, QByteArray &digest)
{
    ChunkRing ring;
    std::thread hasher([&] { hashChunks(ring, size, digest); });
    int error = 0;
    qint64 reported = 0;
    for (qint64 chunk = 0, done = 0; !error && done < size; ++chunk) {
        waitPast(ring.hashed, chunk - ChunkRing::Slots); // the slot's last chunk is hashed
        const qint64 length = qMin(ChunkRing::SlotSize, size - done);
        char *bytes = ring.slot(chunk);
        error = cancel ? int(ErrorCode::SendCancelled) : readChunk(from, bytes, length, done);
        if (error)
            break;
        ring.lengths[size_t(chunk % ChunkRing::Slots)] = length;
        ring.filled.store(chunk + 1);
        ring.filled.notify_one();
        error = writeAt(to, QByteArrayView(bytes, length), done);
        // Written back as it goes, the data need no long flush at the end.
        if (!error)
            startWriteback(to, done, length);
        done += length;
        if (done - reported >= FileChunkSize || done == size) {
            copied(done - reported);
            reported = done;
        }
    }
    // Made durable while the hash catches up.
    if (!error)
        error = syncData(to);
    if (error) {
        ring.filled.store(-1);
        ring.filled.notify_one();
    }
    hasher.join();
    return error;
}

// Hashes the copy's bytes behind the kernel as `copied` grows, from the page cache.
int hashCopy(int fd, qint64 size, std::atomic<qint64> &copied, QByteArray &digest)
{
    Sha256 sha;
    for (qint64 done = 0; done < size;) {
        waitPast(copied, done);
        const qint64 upTo = copied.load();
        if (upTo < 0)
            return 0;
        if (const int error = sha.addFileRange(fd, done, upTo))
            return error;
        done = upTo;
    }
    digest = sha.result();
    return 0;
}

bool kernelCannotCopy(int error)
{
    return error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

// Copies `size` bytes inside the kernel, as `cp` does, while a second thread
// hashes the copy; then makes the copy durable.
int copyAndHash(int from, int to, qint64 size, const std::atomic_bool &cancel,
                const std::function<void(qint64)> &copied, QByteArray &digest)
{
    std::atomic<qint64> done = 0; // bytes in the copy; -1 once the copy has stopped
    int hashError = 0;
    std::thread hasher([&] { hashError = hashCopy(to, size, done, digest); });
    int error = 0;
    qint64 offset = 0;
    while (offset < size) {
        qint64 length = 0;
        error = cancel ? int(ErrorCode::SendCancelled)
                       : copyRangeAt(from, to, offset, qMin(FileChunkSize, size - offset), length);
        if (!error && length == 0)
            error = ErrorCode::AttachmentSourceChanged;
        if (error)
            break;
        startWriteback(to, offset, length);
        offset += length;
        done.store(offset);
        done.notify_one();
        copied(length);
    }
    if (!error)
        error = syncData(to);
    if (error) {
        done.store(-1);
        done.notify_one();
    }
    hasher.join();
    // Nothing copied at the start is also how some kernels and file systems answer a
    // copy they cannot make (as `cp` knows); the chunks tell that from a shrunk file.
    if (offset == 0 && (kernelCannotCopy(error) || error == ErrorCode::AttachmentSourceChanged))
        return copyAndHashChunks(from, to, size, cancel, copied, digest);
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
