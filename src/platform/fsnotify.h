#pragma once

#include <functional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/files.h"

namespace quillet {

// Thin wrapper over one inotify descriptor, opened non-blocking. The event
// bits are those of the kernel, named here so callers need no Linux header.
namespace FsEvent {
enum : quint32
{
    Modify = 0x00000002,
    Attrib = 0x00000004,
    CloseWrite = 0x00000008,
    MovedFrom = 0x00000040,
    MovedTo = 0x00000080,
    Create = 0x00000100,
    Delete = 0x00000200,
    DeleteSelf = 0x00000400,
    MoveSelf = 0x00000800,
    Unmount = 0x00002000,
    QueueOverflow = 0x00004000,
    Ignored = 0x00008000,
    OnlyDir = 0x01000000,
    IsDir = 0x40000000,
};
} // namespace FsEvent

class FsNotify final
{
public:
    using Sink = std::function<void(int watch, quint32 mask, QByteArrayView name)>;

    FsNotify() = default;
    ~FsNotify();
    Q_DISABLE_COPY_MOVE(FsNotify)

    // 0, or the errno that refused it.
    int open();
    void close();
    bool isOpen() const { return m_fd.get() >= 0; }

    // The watch descriptor of `path` (0 or more), or minus the errno that refused it.
    int addWatch(const QString &path, quint32 mask);
    void removeWatch(int watch);

    // Hands every queued event to `sink` without ever waiting: 0 or an errno.
    int drain(const Sink &sink);

private:
    FileDescriptor m_fd;
};

} // namespace quillet
