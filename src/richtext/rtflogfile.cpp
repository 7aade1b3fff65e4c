#include "richtext/rtflogfile.h"

#include "core/textfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include <QFile>

namespace quillet {

namespace {

class FileDescriptor final
{
    Q_DISABLE_COPY_MOVE(FileDescriptor)

public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

Status writeAt(int fd, const char *data, qsizetype size, qint64 offset)
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size_t(size), off_t(offset));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        data += written;
        size -= written;
        offset += written;
    }
    return {};
}

Status syncData(int fd)
{
    return ::fdatasync(fd) == 0 ? Status() : Status(Error::fromErrno(errno));
}

} // namespace

RtfLogFile::RtfLogFile(QTextDocument *document) : m_writer(document) {}

Status RtfLogFile::save(const QString &path)
{
    m_writer.update();
    const QByteArray &body = m_writer.body();
    const bool sameFile = !m_path.isEmpty() && path == m_path;
    const bool prefixKept =
        m_writer.header() == m_header && m_writer.stableBodyLength() >= m_bodyLength;
    if (sameFile && prefixKept && body.size() == m_bodyLength && m_writer.tail() == m_tail) {
        const Result<Identity> current = identityOf(path);
        if (current && current.value() == m_identity) {
            m_lastMethod = Method::None;
            return {};
        }
    }
    // The bytes that follow the unchanged prefix, starting where the old tail starts.
    const QByteArray added = body.sliced(qMin(m_bodyLength, body.size())) + m_writer.tail();
    // The old tail without its brace must stay as it is: only the brace may change.
    const bool tailKept = !m_tail.isEmpty() && added.size() > m_tail.size() &&
                          added.startsWith(QByteArrayView(m_tail).chopped(1));
    Status status = sameFile && prefixKept && tailKept ? append(path, added) : rewrite(path);
    if (!status) {
        m_path.clear(); // what the file holds is not known: the next save replaces it
        return status;
    }
    remember(path);
    return {};
}

Status RtfLogFile::saveNew(const QString &path)
{
    m_writer.update();
    m_path.clear();
    if (Status written = rewrite(path, TextFile::Existing::Keep); !written)
        return written;
    remember(path);
    return {};
}

// The file at `path` now holds the whole document as the writer made it.
void RtfLogFile::remember(const QString &path)
{
    m_path = path;
    m_header = m_writer.header();
    m_bodyLength = m_writer.body().size();
    m_tail = m_writer.tail();
    m_writer.markStable();
}

Status RtfLogFile::rewrite(const QString &path, TextFile::Existing existing)
{
    m_lastMethod = Method::Rewritten;
    if (Status written =
            TextFile::writeAtomically(path, m_writer.rtf(), TextFile::Access::OwnerOnly, existing);
        !written)
        return written;
    const Result<Identity> identity = identityOf(path);
    if (!identity)
        return identity.error();
    m_identity = identity.value();
    return {};
}

Status RtfLogFile::append(const QString &path, const QByteArray &added)
{
    m_lastMethod = Method::Appended;
    // Only the file this object wrote last is extended; one changed by anyone else
    // is replaced whole.
    FileDescriptor fd(::open(QFile::encodeName(path).constData(),
                             O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return rewrite(path);
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        Identity{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                 qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec} != m_identity) {
        return rewrite(path);
    }
    const qint64 brace = m_identity.size - 1;      // where the old document ends
    const qsizetype unchanged = m_tail.size() - 1; // old tail bytes that stay as they are
    // First everything after the old final brace, made durable...
    Status status = writeAt(fd.get(), added.constData() + unchanged + 1,
                            added.size() - unchanged - 1, brace + 1);
    if (status)
        status = syncData(fd.get());
    // ...then the commit: the brace becomes the first byte of the new paragraphs.
    if (status)
        status = writeAt(fd.get(), added.constData() + unchanged, 1, brace);
    if (status)
        status = syncData(fd.get());
    if (status && ::fstat(fd.get(), &st) != 0)
        status = Error::fromErrno(errno);
    if (::close(fd.release()) != 0 && status)
        status = Error::fromErrno(errno);
    if (!status)
        return status;
    m_identity = {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                  qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    return {};
}

Result<RtfLogFile::Identity> RtfLogFile::identityOf(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return Error::fromErrno(errno);
    return Identity{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                    qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace quillet
