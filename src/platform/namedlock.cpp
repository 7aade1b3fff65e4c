#include "platform/namedlock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype MaxFileNameBytes = 255;
constexpr qsizetype KeptPrefixBytes = 180;

// The fallback folder in /tmp must be a real folder of ours that nobody else can enter.
bool ensurePrivateFolder(const QByteArray &folder)
{
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st
    {
    };
    if (::lstat(folder.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 0077) == 0;
}

} // namespace

NamedLock::~NamedLock()
{
    release();
}

QString NamedLock::lockFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        return QDir::cleanPath(runtime) + u"/quillet-im"_s;
    return u"/tmp/quillet-im-%1"_s.arg(::geteuid());
}

QByteArray NamedLock::lockFileName(const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    if (utf8.size() <= MaxFileNameBytes)
        return utf8;
    const QByteArray hash = QCryptographicHash::hash(utf8, QCryptographicHash::Sha256).toHex();
    // Cut between characters, so that the name stays valid UTF-8.
    qsizetype kept = KeptPrefixBytes;
    while (kept > 0 && (static_cast<uchar>(utf8.at(kept)) & 0xC0) == 0x80)
        --kept;
    return utf8.left(kept) + '-' + hash;
}

NamedLock::Outcome NamedLock::acquire(const QString &name)
{
    release();
    const QByteArray folder = QFile::encodeName(lockFolder());
    const bool inRuntimeDir = !qEnvironmentVariable("XDG_RUNTIME_DIR").isEmpty();
    if (inRuntimeDir ? (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
                     : !ensurePrivateFolder(folder))
        return errno == EACCES || errno == EPERM ? Outcome::AccessDenied : Outcome::Failed;

    const QByteArray path = folder + '/' + lockFileName(name);
    FileDescriptor fd(::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        return errno == EACCES || errno == EPERM ? Outcome::AccessDenied : Outcome::Failed;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK)
            return Outcome::AlreadyHeld;
        return error == EACCES || error == EPERM ? Outcome::AccessDenied : Outcome::Failed;
    }
    m_fd.reset(fd.release());
    return Outcome::Acquired;
}

void NamedLock::release()
{
    m_fd.close();
}

} // namespace quillet
