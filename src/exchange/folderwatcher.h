#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>

#include "platform/fsnotify.h"

namespace quillet {

// Tells cheaply whether anything in one folder (not its subfolders) changed
// since the last poll that answered true. Never blocks, never calls back.
//
// It also remembers which names the drained events carried, so MessageFolder
// can look at just those again; epoch() changes whenever events may have been
// missed (start, queue overflow, watch lost or regained), which tells the
// folder that only a full listing is right.
class FolderWatcher final
{
public:
    static constexpr int DefaultRetryIntervalMs = 3000;
    // Beyond this many pending names a full listing is about as cheap.
    static constexpr qsizetype MaxTrackedNames = 16384;

    FolderWatcher() = default;
    ~FolderWatcher() = default;
    Q_DISABLE_COPY_MOVE(FolderWatcher)

    bool start(const QString &path);
    bool hasChanged();

    QString path() const { return m_path; }
    bool isWatching() const { return m_watch >= 0; }
    // start succeeded once; a watch lost since is looked for again by itself.
    bool isStarted() const { return m_started; }
    quint64 epoch() const { return m_epoch; }
    // The names of the files that changed since the last call.
    QSet<QByteArray> takeChangedNames();

    // What the events said of a file's writer: created or modified without a
    // close since (Writing), closed after writing or renamed into place
    // (Finished), or nothing since the watch started or last lost events.
    enum class WriteState
    {
        Unknown,
        Writing,
        Finished,
    };
    WriteState writeState(const QByteArray &name) const;
    void forgetWriteState(const QByteArray &name) { m_writeStates.remove(name); }

    // How often the kernel's event queue overflowed; for tests and diagnostics.
    int overflowCount() const { return m_overflows; }
    void setRetryInterval(int ms) { m_retryIntervalMs = ms; }

private:
    void handleEvent(int watch, quint32 mask, QByteArrayView name, bool &changed, bool &lost);
    bool tryRewatch();
    void forgetNames();

    FsNotify m_notify;
    QString m_path;
    int m_watch = -1;
    bool m_started = false;
    quint64 m_epoch = 0;
    QSet<QByteArray> m_changedNames;
    QHash<QByteArray, bool> m_writeStates; // true while being written
    int m_overflows = 0;
    int m_retryIntervalMs = DefaultRetryIntervalMs;
    QElapsedTimer m_sinceLost;
};

} // namespace quillet
