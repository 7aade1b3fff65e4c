#include "core/textfile.h"

#include "core/support.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(FileDescriptor)
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

Status writeAll(int fd, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        written += n;
    }
    return {};
}

} // namespace

Result<QByteArray> TextFile::readBytes(const QString &path, qint64 maxSize)
{
    if (path.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    FileDescriptor fd(::open(QFile::encodeName(path).constData(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return Error::fromErrno(errno);
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        return Error::fromErrno(errno);
    if (!S_ISREG(st.st_mode))
        return Error::make(ErrorCode::NotRegularFile);
    if (st.st_size > maxSize)
        return Error::make(ErrorCode::FileTooLarge);

    // The file may grow while it is read: read at most one byte past the cap.
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(st.st_size) + 1);
    qsizetype total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxSize)
                return Error::make(ErrorCode::FileTooLarge);
            bytes.resize(qMin<qint64>(maxSize + 1, qMax<qsizetype>(total * 2, 4096)));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + total, bytes.size() - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        if (n == 0)
            break;
        total += n;
    }
    if (total > maxSize)
        return Error::make(ErrorCode::FileTooLarge);
    bytes.truncate(total);
    return bytes;
}

Result<QString> TextFile::decode(const QByteArray &bytes)
{
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    qsizetype bomLength = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bomLength = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringConverter::Utf16LE;
        bomLength = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringConverter::Utf16BE;
        bomLength = 2;
    }
    const QByteArrayView body = QByteArrayView(bytes).sliced(bomLength);
    if (encoding != QStringConverter::Utf8 && body.size() % 2 != 0)
        return Error::make(ErrorCode::InvalidEncoding);
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return Error::make(ErrorCode::InvalidEncoding);
    return text;
}

QByteArray TextFile::encode(const QString &text)
{
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

Result<QString> TextFile::readText(const QString &path)
{
    Result<QByteArray> bytes = readBytes(path);
    if (!bytes)
        return bytes.error();
    return decode(bytes.value());
}

Status TextFile::writeText(const QString &path, const QString &text)
{
    return writeAtomically(path, encode(text));
}

Status TextFile::createText(const QString &path, const QString &text)
{
    return writeAtomically(path, encode(text));
}

QString TextFile::temporaryNameFor(const QString &path)
{
    const QString suffix = QString::number(QRandomGenerator::global()->generate64(), 36);
    const QString name = '.'_L1 + fileNameOf(path) + '.'_L1 + suffix + u".tmp"_s;
    // Joined by hand: joinPath would take a '\\' in the name for a separator.
    const QString folder = parentFolder(path);
    if (folder.isEmpty())
        return name;
    return folder.endsWith('/'_L1) ? folder + name : folder + '/'_L1 + name;
}

namespace {

// Moves the finished temporary file to its name unless that name is taken.
int renameNoReplace(const char *from, const char *to)
{
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the flag: a hard link fails on an existing name too.
    if (::link(from, to) != 0)
        return errno;
    ::unlink(from);
    return 0;
}

} // namespace

Status TextFile::writeAtomically(const QString &path, const QByteArray &bytes, Access access,
                                 Existing existing)
{
    if (path.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = QFile::encodeName(temporaryNameFor(path));
    const bool ownerOnly = access == Access::OwnerOnly;
    FileDescriptor fd(::open(temporary.constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             ownerOnly ? 0600 : 0644));
    if (fd.get() < 0)
        return Error::fromErrno(errno);
    Status written;
    // Exactly 0600: a strict umask would leave the user unable to read it back.
    if (ownerOnly && ::fchmod(fd.get(), 0600) != 0)
        written = Error::fromErrno(errno);
    if (written)
        written = writeAll(fd.get(), bytes);
    if (written && ::fsync(fd.get()) != 0)
        written = Error::fromErrno(errno);
    if (::close(fd.release()) != 0 && written)
        written = Error::fromErrno(errno);
    if (written && existing == Existing::Replace &&
        ::rename(temporary.constData(), target.constData()) != 0)
        written = Error::fromErrno(errno);
    if (written && existing == Existing::Keep) {
        if (const int error = renameNoReplace(temporary.constData(), target.constData()))
            written = Error::fromErrno(error);
    }
    if (!written)
        ::unlink(temporary.constData());
    return written;
}

} // namespace quillet
