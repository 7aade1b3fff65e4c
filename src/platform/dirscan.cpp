#include "platform/dirscan.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

EntryType fromMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryType::Regular;
    if (S_ISDIR(mode))
        return EntryType::Directory;
    if (S_ISLNK(mode))
        return EntryType::Symlink;
    return EntryType::Other;
}

EntryType fromDirentType(unsigned char type)
{
    switch (type) {
    case DT_REG:
        return EntryType::Regular;
    case DT_DIR:
        return EntryType::Directory;
    case DT_LNK:
        return EntryType::Symlink;
    case DT_UNKNOWN:
        return EntryType::Unknown;
    default:
        return EntryType::Other;
    }
}

} // namespace

DirScanner::DirScanner(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    m_dir = ::fdopendir(fd);
    if (!m_dir) {
        m_error = errno;
        ::close(fd);
    }
}

DirScanner::~DirScanner()
{
    if (m_dir)
        ::closedir(static_cast<DIR *>(m_dir));
}

bool DirScanner::next(const char *&name, qsizetype &length, EntryType &type)
{
    if (!m_dir)
        return false;
    while (const dirent *entry = ::readdir(static_cast<DIR *>(m_dir))) {
        const char *entryName = entry->d_name;
        if (entryName[0] == '.' &&
            (entryName[1] == '\0' || (entryName[1] == '.' && entryName[2] == '\0')))
            continue;
        name = entryName;
        length = qsizetype(std::strlen(entryName));
        type = fromDirentType(entry->d_type);
        return true;
    }
    return false;
}

EntryType DirScanner::typeOf(const char *name) const
{
    if (!m_dir)
        return EntryType::Missing;
    struct stat st
    {
    };
    if (::fstatat(::dirfd(static_cast<DIR *>(m_dir)), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryType::Missing;
    return fromMode(st.st_mode);
}

EntryType lstatType(const char *path)
{
    struct stat st
    {
    };
    if (::lstat(path, &st) != 0)
        return EntryType::Missing;
    return fromMode(st.st_mode);
}

} // namespace quillet
