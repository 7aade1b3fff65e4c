#include "platform/normalfiles.h"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <QFile>

namespace quillet {

using namespace Qt::StringLiterals;

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

// Read by path without following links: no need to open the file, so a file
// the user may not read is still judged by its attribute.
bool hasHiddenAttribute(const QByteArray &path)
{
    char text[64];
    const ssize_t length = ::lgetxattr(path.constData(), "user.DOSATTRIB", text, sizeof text);
    if (length <= 0)
        return false;
    return (parseDosAttributes(text, length) & (HiddenAttribute | SystemAttribute)) != 0;
}

bool isRegularEntry(int folderFd, const char *name)
{
    struct stat st
    {
    };
    return ::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool isHiddenOrSystemFile(const QString &path)
{
    if (path.section('/'_L1, -1).startsWith('.'_L1))
        return true;
    return hasHiddenAttribute(QFile::encodeName(path));
}

Result<QStringList> listNormalFiles(const QString &folder, const QString &extension)
{
    // An empty folder name would list the working directory.
    if (folder.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    DirectoryStream stream(::opendir(QFile::encodeName(folder).constData()));
    if (!stream.get())
        return Error::fromErrno(errno);
    const int folderFd = ::dirfd(stream.get());
    const QByteArray prefix = QFile::encodeName(folder) + '/';

    QStringList names;
    for (;;) {
        const dirent *entry = ::readdir(stream.get());
        if (!entry)
            break;
        const QString name = QFile::decodeName(entry->d_name);
        if (name.size() <= extension.size() || !name.endsWith(extension, Qt::CaseInsensitive))
            continue;
        if (name.startsWith('.'_L1) || !isRegularEntry(folderFd, entry->d_name))
            continue;
        if (!hasHiddenAttribute(prefix + entry->d_name))
            names.append(name);
    }
    return names;
}

} // namespace quillet
