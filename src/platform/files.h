#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <utility>

namespace quillet {

// Bounded reads and durable writes on encoded paths. Each call returns 0 or an
// errno value.

// One open file descriptor, closed when it goes.
class FileDescriptor final
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor();
    Q_DISABLE_COPY_MOVE(FileDescriptor)

    int get() const { return m_fd; }
    void reset(int fd);
    int release() { return std::exchange(m_fd, -1); }
    // Closes now: a write error the file system reports late shows here.
    int close();

private:
    int m_fd;
};

// One state of a file: replaced, grown or touched, it compares different.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool regular = false;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// What readFile refuses besides errno values.
constexpr int NotRegularFileError = -1;
constexpr int FileTooLargeError = -2;

// Reads a regular file of at most maxSize bytes. Links, pipes and devices are
// refused without blocking; a file that grows past maxSize while read is too.
int readFile(const QByteArray &path, qint64 maxSize, QByteArray &bytes);

// Opens a regular file for reading and gives its size. Links, pipes and devices are
// refused without blocking (NotRegularFileError).
int openRegularFile(const QByteArray &path, FileDescriptor &fd, qint64 &size);
// Reads `length` bytes at `offset`, fewer only where the file ends.
int readFileAt(int fd, qint64 offset, qint64 length, QByteArray &bytes);

// Writes `bytes` into the new file `temporary`, makes them durable and moves the
// file to `target`, so readers see the old file or the whole new one. With
// ownerOnly the file gets exactly 0600 whatever the umask; with keepExisting an
// existing target is never replaced and the call fails with EEXIST.
int writeFileDurably(const QByteArray &target, const QByteArray &temporary, QByteArrayView bytes,
                     bool ownerOnly, bool keepExisting);

// Opens an existing file for writing in place, without following links.
int openForUpdate(const QByteArray &path, FileDescriptor &fd);
int stampOf(int fd, FileStamp &stamp);
// Of the path itself: links are not followed.
int stampOf(const QByteArray &path, FileStamp &stamp);
int writeAt(int fd, QByteArrayView bytes, qint64 offset);
int syncData(int fd);

// Creates each missing folder of an absolute path with `mode`; with exactMode a
// new folder gets exactly that mode whatever the umask. A file in the way is ENOTDIR.
int makeFolders(const QByteArray &absolutePath, unsigned mode, bool exactMode);

// The login name of the effective user; empty when the system knows none.
QByteArray loginName();

} // namespace quillet
