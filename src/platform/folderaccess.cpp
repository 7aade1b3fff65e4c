#include "platform/folderaccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int typeError(mode_t mode)
{
    if (S_ISLNK(mode))
        return ELOOP;
    if (S_ISDIR(mode))
        return EISDIR;
    return S_ISREG(mode) ? 0 : NotRegularFileError;
}

// Why an entry that is no folder cannot be entered: a link says ELOOP.
int folderError(int folder, const QByteArray &name)
{
    struct stat st
    {
    };
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
}

// The descriptor's file must be regular; `stamp` tells what it is.
int checkRegular(FileDescriptor &file, FileStamp &stamp)
{
    struct stat st
    {
    };
    if (::fstat(file.get(), &st) != 0)
        return errno;
    if (const int error = typeError(st.st_mode)) {
        file.reset(-1);
        return error;
    }
    return stampOf(file.get(), stamp);
}

} // namespace

int openFolder(const QByteArray &path, FileDescriptor &folder)
{
    folder.reset(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.get() < 0 ? errno : 0;
}

int openFolderBeneath(int base, const QByteArrayList &components, FileDescriptor &folder)
{
    folder.reset(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    if (folder.get() < 0)
        return errno;
    for (const QByteArray &component : components) {
        const int next = ::openat(folder.get(), component.constData(), FolderFlags);
        if (next < 0)
            return errno == ENOTDIR ? folderError(folder.get(), component) : errno;
        folder.reset(next);
    }
    return 0;
}

int openRegularFileAt(int folder, const QByteArray &name, FileDescriptor &file, FileStamp &stamp)
{
    // The type first: opening a device can have effects of its own.
    struct stat st
    {
    };
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (const int error = typeError(st.st_mode))
        return error;
    file.reset(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return errno;
    return checkRegular(file, stamp);
}

int openRegularFile(const QByteArray &path, FileDescriptor &file, FileStamp &stamp)
{
    file.reset(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return errno;
    return checkRegular(file, stamp);
}

int makeFolderAt(int folder, const QByteArray &name, FileDescriptor &made)
{
    if (::mkdirat(folder, name.constData(), 0755) != 0)
        return errno;
    made.reset(::openat(folder, name.constData(), FolderFlags));
    return made.get() < 0 ? errno : 0;
}

int createFileAt(int folder, const QByteArray &name, FileDescriptor &file)
{
    file.reset(::openat(folder, name.constData(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    return file.get() < 0 ? errno : 0;
}

int renameAtNoReplace(int folder, const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the flag: a hard link fails on an existing name too.
    if (::linkat(folder, from.constData(), folder, to.constData(), 0) != 0)
        return errno;
    ::unlinkat(folder, from.constData(), 0);
    return 0;
}

int removeFileAt(int folder, const QByteArray &name)
{
    return ::unlinkat(folder, name.constData(), 0) == 0 ? 0 : errno;
}

int removeFolderAt(int folder, const QByteArray &name)
{
    return ::unlinkat(folder, name.constData(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

int readAt(int fd, char *buffer, qint64 length, qint64 offset, qint64 &got)
{
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, size_t(length), off_t(offset));
        if (n >= 0) {
            got = n;
            return 0;
        }
        if (errno != EINTR)
            return errno;
    }
}

int copyRangeAt(int from, int to, qint64 offset, qint64 length, qint64 &copied)
{
    for (;;) {
        loff_t in = offset;
        loff_t out = offset;
        const ssize_t n = ::copy_file_range(from, &in, to, &out, size_t(length), 0);
        if (n >= 0) {
            copied = n;
            return 0;
        }
        if (errno != EINTR)
            return errno;
    }
}

int startWriteback(int fd, qint64 offset, qint64 length)
{
    return ::sync_file_range(fd, off_t(offset), off_t(length), SYNC_FILE_RANGE_WRITE) == 0 ? 0
                                                                                           : errno;
}

} // namespace quillet
