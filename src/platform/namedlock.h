#pragma once

#include "platform/files.h"

#include <QByteArray>
#include <QString>

namespace quillet {

// A per-user named flag that lives while its holder's process does: an
// exclusive flock on a lock file named after it in the user's runtime folder.
// The kernel drops the lock when the holder ends or crashes.
class NamedLock final
{
public:
    enum class Outcome
    {
        Acquired,
        AlreadyHeld,
        AccessDenied,
        Failed
    };

    NamedLock() = default;
    ~NamedLock();
    Q_DISABLE_COPY_MOVE(NamedLock)

    Outcome acquire(const QString &name);
    void release();
    bool holds() const { return m_fd.get() >= 0; }

    // $XDG_RUNTIME_DIR/quillet-im, or /tmp/quillet-im-<uid> made private to the user.
    static QString lockFolder();
    // The lock file's name: the UTF-8 name, shortened with a SHA-256 when it
    // would exceed the file-name limit.
    static QByteArray lockFileName(const QString &name);

private:
    FileDescriptor m_fd;
};

} // namespace quillet
