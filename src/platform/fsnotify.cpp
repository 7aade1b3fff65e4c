#include "platform/fsnotify.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

#include <QFile>

namespace quillet {

static_assert(FsEvent::Modify == IN_MODIFY && FsEvent::Attrib == IN_ATTRIB &&
              FsEvent::CloseWrite == IN_CLOSE_WRITE && FsEvent::MovedFrom == IN_MOVED_FROM &&
              FsEvent::MovedTo == IN_MOVED_TO && FsEvent::Create == IN_CREATE &&
              FsEvent::Delete == IN_DELETE && FsEvent::DeleteSelf == IN_DELETE_SELF &&
              FsEvent::MoveSelf == IN_MOVE_SELF && FsEvent::Unmount == IN_UNMOUNT &&
              FsEvent::QueueOverflow == IN_Q_OVERFLOW && FsEvent::Ignored == IN_IGNORED &&
              FsEvent::OnlyDir == IN_ONLYDIR && FsEvent::IsDir == IN_ISDIR);

FsNotify::~FsNotify()
{
    close();
}

int FsNotify::open()
{
    close();
    m_fd.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    return m_fd.get() < 0 ? errno : 0;
}

void FsNotify::close()
{
    m_fd.close();
}

int FsNotify::addWatch(const QString &path, quint32 mask)
{
    if (m_fd.get() < 0)
        return -EBADF;
    // An empty name would watch the working directory.
    if (path.isEmpty())
        return -ENOENT;
    const int watch = ::inotify_add_watch(m_fd.get(), QFile::encodeName(path).constData(), mask);
    return watch < 0 ? -errno : watch;
}

void FsNotify::removeWatch(int watch)
{
    if (m_fd.get() >= 0 && watch >= 0)
        ::inotify_rm_watch(m_fd.get(), watch);
}

int FsNotify::drain(const Sink &sink)
{
    if (m_fd.get() < 0)
        return EBADF;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_fd.get(), buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN ? 0 : errno;
        }
        if (length == 0)
            return 0;
        for (ssize_t offset = 0; offset + ssize_t(sizeof(inotify_event)) <= length;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            const char *name = buffer + offset + sizeof event;
            // The name is NUL-padded to its slot.
            const QByteArrayView nameView =
                event.len ? QByteArrayView(name, qstrnlen(name, event.len)) : QByteArrayView();
            sink(event.wd, event.mask, nameView);
            offset += sizeof(inotify_event) + event.len;
        }
    }
}

} // namespace quillet
