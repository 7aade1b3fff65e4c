#include "normalfiles.h"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QFile>

namespace {

constexpr unsigned HiddenAttribute = 0x2;
constexpr unsigned SystemAttribute = 0x4;

// Closes the directory stream on every way out.
class DirectoryStream final
{
public:
    explicit DirectoryStream(DIR *stream) : m_stream(stream) {}
    ~DirectoryStream()
    {
        if (m_stream)
            ::closedir(m_stream);
    }
    Q_DISABLE_COPY_MOVE(DirectoryStream)

    DIR *get() const { return m_stream; }

private:
    DIR *m_stream;
};

// The DOS attribute bits as Linux file servers keep them: hexadecimal text
// such as "0x2", possibly NUL-terminated. Unreadable text counts as no bits.
unsigned parseDosAttributes(const char *text, ssize_t length)
{
    QByteArray value(text, static_cast<qsizetype>(length));
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0)
        value.truncate(nul);
    bool ok = false;
    const unsigned bits = value.trimmed().toUInt(&ok, 0);
    return ok ? bits : 0;
}

bool hasHiddenAttribute(int folderFd, const char *name)
{
    // Opened without following links; the caller has already checked it is a regular file.
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[64];
    const ssize_t length = ::fgetxattr(fd, "user.DOSATTRIB", text, sizeof text);
    ::close(fd);
    if (length <= 0)
        return false;
    return (parseDosAttributes(text, length) & (HiddenAttribute | SystemAttribute)) != 0;
}

bool isNormalEntry(int folderFd, const char *name)
{
    if (name[0] == '.')
        return false;
    struct stat st
    {
    };
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    return !hasHiddenAttribute(folderFd, name);
}

} // namespace

bool IsHiddenOrSystemFile(const QString &path)
{
    const QString name = path.section(QLatin1Char('/'), -1);
    if (name.startsWith(QLatin1Char('.')))
        return true;
    char text[64];
    const ssize_t length =
        ::lgetxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", text, sizeof text);
    if (length <= 0)
        return false;
    return (parseDosAttributes(text, length) & (HiddenAttribute | SystemAttribute)) != 0;
}

Result<QStringList> ListNormalFiles(const QString &folder, const QString &extension)
{
    // An empty folder name would list the working directory.
    if (folder.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    DirectoryStream stream(::opendir(QFile::encodeName(folder).constData()));
    if (!stream.get())
        return Error::fromErrno(errno);
    const int folderFd = ::dirfd(stream.get());

    QStringList names;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(stream.get());
        if (!entry)
            break;
        const QString name = QFile::decodeName(entry->d_name);
        if (name.size() <= extension.size() || !name.endsWith(extension, Qt::CaseInsensitive))
            continue;
        if (isNormalEntry(folderFd, entry->d_name))
            names.append(name);
    }
    return names;
}
