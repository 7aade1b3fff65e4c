#include "exchange/folderwatcher.h"

#include <atomic>

namespace quillet {

namespace {

// Files created, deleted, renamed, with changed attributes, size or contents;
// and the folder itself going away.
constexpr quint32 WatchMask = FsEvent::Create | FsEvent::Delete | FsEvent::MovedFrom |
                              FsEvent::MovedTo | FsEvent::Attrib | FsEvent::Modify |
                              FsEvent::CloseWrite | FsEvent::DeleteSelf | FsEvent::MoveSelf |
                              FsEvent::OnlyDir;
constexpr quint32 WatchLost =
    FsEvent::Ignored | FsEvent::DeleteSelf | FsEvent::MoveSelf | FsEvent::Unmount;

} // namespace

bool FolderWatcher::start(const QString &path)
{
    m_notify.close();
    m_watch = -1;
    m_started = false;
    m_path = path;
    forgetNames();
    if (m_notify.open() != 0)
        return false;
    const int watch = m_notify.addWatch(path, WatchMask);
    if (watch < 0) {
        // A watcher that could not start holds nothing.
        m_notify.close();
        return false;
    }
    m_watch = watch;
    m_started = true;
    return true;
}

bool FolderWatcher::hasChanged()
{
    if (!m_started)
        return false;
    bool changed = false;
    bool lost = false;
    const bool drained = m_notify.drain([&](int watch, quint32 mask, QByteArrayView name) {
        handleEvent(watch, mask, name, changed, lost);
    }) == 0;
    if (lost) {
        // Removed, moved away or unmounted: look for the folder again later.
        m_notify.removeWatch(m_watch);
        m_watch = -1;
        forgetNames();
        m_sinceLost.start();
        return true;
    }
    if (m_watch < 0)
        return tryRewatch();
    if (!drained) {
        forgetNames();
        return true;
    }
    if (m_changedNames.size() > MaxTrackedNames || m_writeStates.size() > MaxTrackedNames)
        forgetNames();
    return changed;
}

FolderWatcher::WriteState FolderWatcher::writeState(const QByteArray &name) const
{
    const auto found = m_writeStates.constFind(name);
    if (found == m_writeStates.constEnd())
        return WriteState::Unknown;
    return found.value() ? WriteState::Writing : WriteState::Finished;
}

QSet<QByteArray> FolderWatcher::takeChangedNames()
{
    return std::exchange(m_changedNames, {});
}

void FolderWatcher::handleEvent(int watch, quint32 mask, QByteArrayView name, bool &changed,
                                bool &lost)
{
    if (mask & FsEvent::QueueOverflow) {
        ++m_overflows;
        forgetNames();
        changed = true;
        return;
    }
    // Late events of a watch given up already.
    if (watch != m_watch || m_watch < 0)
        return;
    if (mask & WatchLost) {
        lost = true;
        return;
    }
    if (!name.isEmpty()) {
        const QByteArray bytes = name.toByteArray();
        if (mask & (FsEvent::CloseWrite | FsEvent::MovedTo))
            m_writeStates.insert(bytes, false);
        else if (mask & (FsEvent::Create | FsEvent::Modify))
            m_writeStates.insert(bytes, true);
        else if (mask & (FsEvent::Delete | FsEvent::MovedFrom))
            m_writeStates.remove(bytes);
        m_changedNames.insert(bytes);
    }
    // Folder-name changes are not watched.
    if (!(mask & FsEvent::IsDir))
        changed = true;
}

bool FolderWatcher::tryRewatch()
{
    if (m_sinceLost.isValid() && m_sinceLost.elapsed() < m_retryIntervalMs)
        return false;
    const int watch = m_notify.addWatch(m_path, WatchMask);
    if (watch < 0) {
        m_sinceLost.start();
        return false;
    }
    m_watch = watch;
    forgetNames();
    return true;
}

void FolderWatcher::forgetNames()
{
    // Unique across all watchers, so a new watcher never passes for an old one.
    static std::atomic<quint64> lastEpoch{0};
    m_changedNames.clear();
    m_writeStates.clear();
    m_epoch = ++lastEpoch;
}

} // namespace quillet
