#include "platform/files.h"

#include "platform/folderaccess.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace quillet {

namespace {

FileStamp stampFrom(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, S_ISREG(st.st_mode)};
}

int writeAll(int fd, QByteArrayView bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, size_t(bytes.size() - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += n;
    }
    return 0;
}

} // namespace

FileDescriptor::~FileDescriptor()
{
    close();
}

void FileDescriptor::reset(int fd)
{
    close();
    m_fd = fd;
}

int FileDescriptor::close()
{
    const int fd = std::exchange(m_fd, -1);
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
}

int openRegularFile(const QByteArray &path, FileDescriptor &fd, qint64 &size)
{
    fd.reset(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    FileStamp stamp;
    if (const int error = stampOf(fd.get(), stamp))
        return error;
    if (!stamp.regular)
        return NotRegularFileError;
    size = stamp.size;
    return 0;
}

int readFileAt(int fd, qint64 offset, qint64 length, QByteArray &bytes)
{
    bytes.resize(qsizetype(length));
    qsizetype total = 0;
    while (total < bytes.size()) {
        const ssize_t n =
            ::pread(fd, bytes.data() + total, size_t(bytes.size() - total), off_t(offset + total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        total += n;
    }
    bytes.truncate(total);
    return 0;
}

int readFile(const QByteArray &path, qint64 maxSize, QByteArray &bytes)
{
    FileDescriptor fd;
    qint64 size = 0;
    if (const int error = openRegularFile(path, fd, size))
        return error;
    if (size > maxSize)
        return FileTooLargeError;

    // The file may grow while it is read: read at most one byte past the cap.
    bytes.resize(qsizetype(size) + 1);
    qsizetype total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxSize)
                return FileTooLargeError;
            bytes.resize(qMin<qint64>(maxSize + 1, qMax<qsizetype>(total * 2, 4096)));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + total, size_t(bytes.size() - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        total += n;
    }
    if (total > maxSize)
        return FileTooLargeError;
    bytes.truncate(total);
    return 0;
}

int writeFileDurably(const QByteArray &target, const QByteArray &temporary, QByteArrayView bytes,
                     bool ownerOnly, bool keepExisting)
{
    FileDescriptor fd(::open(temporary.constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             ownerOnly ? 0600 : 0644));
    if (fd.get() < 0)
        return errno;
    int error = 0;
    // Exactly 0600: a strict umask would leave the user unable to read it back.
    if (ownerOnly && ::fchmod(fd.get(), 0600) != 0)
        error = errno;
    if (!error)
        error = writeAll(fd.get(), bytes);
    if (!error && ::fsync(fd.get()) != 0)
        error = errno;
    if (const int closed = fd.close(); !error)
        error = closed;
    if (!error && !keepExisting && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (!error && keepExisting)
        error = renameAtNoReplace(AT_FDCWD, temporary, target);
    if (error)
        ::unlink(temporary.constData());
    return error;
}

int openForUpdate(const QByteArray &path, FileDescriptor &fd)
{
    fd.reset(::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    return fd.get() < 0 ? errno : 0;
}

int stampOf(int fd, FileStamp &stamp)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        return errno;
    stamp = stampFrom(st);
    return 0;
}

int stampOf(const QByteArray &path, FileStamp &stamp)
{
    struct stat st
    {
    };
    if (::lstat(path.constData(), &st) != 0)
        return errno;
    stamp = stampFrom(st);
    return 0;
}

int writeAt(int fd, QByteArrayView bytes, qint64 offset)
{
    const char *data = bytes.data();
    qsizetype size = bytes.size();
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size_t(size), off_t(offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= written;
        offset += written;
    }
    return 0;
}

int syncData(int fd)
{
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

int makeFolders(const QByteArray &absolutePath, unsigned mode, bool exactMode)
{
    qsizetype next = 1;
    while (next <= absolutePath.size()) {
        qsizetype slash = absolutePath.indexOf('/', next);
        if (slash < 0)
            slash = absolutePath.size();
        const QByteArray part = absolutePath.left(slash);
        struct stat st
        {
        };
        if (::stat(part.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return ENOTDIR;
        } else if (::mkdir(part.constData(), mode) == 0) {
            // The umask may have taken bits away, or left some that must not stay.
            if (exactMode && ::chmod(part.constData(), mode) != 0)
                return errno;
        } else if (errno != EEXIST) {
            return errno;
        }
        next = slash + 1;
    }
    return 0;
}

QByteArray loginName()
{
    const passwd *pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? QByteArray(pw->pw_name) : QByteArray();
}

} // namespace quillet
