#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

namespace quillet {

class Conversation;
class FolderWatcher;
class MessageFolder;

// The receive side of one chat, without any window: a 250 ms tick that looks
// at the exchange folder on its first run and after every reported change,
// reads the unseen message files in send order in short slices scheduled by
// the event loop, appends them to the conversation (a file that cannot be read
// as a line of the program's own saying why), and marks each file shown only once the conversation
// log that holds it has been saved (by the saver the window hands in). Where inotify cannot see the
// folder's changes (network file systems, no watch), the folder is listed every second instead. A
// file still being written waits until its writer is done or it has been quiet for a few seconds.
class ChatSession final : public QObject
{
    Q_OBJECT

public:
    static constexpr int TickIntervalMs = 250;
    static constexpr int SaveIntervalMs = 1000;
    // A save also comes after this many messages: one save of a long backlog's
    // first second would pause the window too long.
    static constexpr qsizetype MaxUnsavedFiles = 400;
    static constexpr int SliceMs = 15;
    static constexpr qsizetype MaxSliceFiles = 2048;
    static constexpr int PollIntervalMs = 1000;
    static constexpr int WatchRetryIntervalMs = 3000;
    static constexpr qint64 QuietMs = 3000;

    using LogSaver = std::function<bool()>;

    // The conversation must outlive the session.
    ChatSession(const QString &folder, const QString &myGuid, Conversation *conversation,
                QObject *parent = nullptr);
    ~ChatSession() override;
    Q_DISABLE_COPY_MOVE(ChatSession)

    // Saves the conversation log; its result does not hold marks back.
    void setLogSaver(LogSaver saver) { m_saveLog = std::move(saver); }

    // Starts the watch and the tick; the first tick comes one interval later.
    void start();
    // The chat exits after its last save: the files shown are marked, no more ticks.
    void stop();

    bool isRunning() const { return m_running; }
    bool isDispatching() const { return m_dispatching; }
    // Lists the folder on its own: no watch, or changes inotify cannot see.
    bool isPolling() const;
    QString folder() const { return m_folderPath; }

signals:
    // Every tick, before the folder is looked at.
    void ticked();
    // One slice of a batch has been appended to the conversation, from `first`
    // on; the window renders it as one edit.
    void received(qsizetype first, qsizetype count);
    // A reported change found no unseen message file.
    void falseAlarmRaised(const QString &text);
    // A batch has been shown, saved and marked.
    void batchFinished();

private:
    enum class Reason
    {
        FirstTick,
        Change,
        Poll,
        Recheck,
    };
    // A file not finished yet, as last seen (size -1: not seen yet); times by Clock.
    struct Waiting
    {
        qint64 size = -1;
        qint64 modifiedMs = 0;
        qint64 unchangedSinceMs = 0;
    };

    void tick();
    void dispatchAll(Reason reason);
    void continueListing(Reason reason);
    void dispatchListed(Reason reason, const QStringList &listed);
    void runSlice();
    void saveSlice();
    void finishBatch();
    bool takeMessage(const QString &path);
    bool hasBeenQuiet(const QString &path);
    void saveAndOweMarks();
    bool markOwed(const QElapsedTimer &budget);
    void markShown(const QString &path);
    void ensureWatch();

    QString m_folderPath;
    QString m_myGuid;
    Conversation *m_conversation;
    std::unique_ptr<MessageFolder> m_folder;
    std::unique_ptr<FolderWatcher> m_watcher;
    QTimer m_tick;
    LogSaver m_saveLog;
    bool m_running = false;
    bool m_firstTickDone = false;
    bool m_dispatching = false;
    bool m_networkFolder = false;
    QElapsedTimer m_sincePoll;
    QElapsedTimer m_sinceWatchTry;
    QElapsedTimer m_sinceSave;
    QStringList m_batch;
    qsizetype m_next = 0;
    qsizetype m_sliceFiles = 16;
    QStringList m_unsaved;             // shown since the last save
    QStringList m_owedMarks;           // in a saved log, not marked yet
    QSet<QString> m_dispatched;        // never shown twice in one run, whatever became of the mark
    QHash<QString, Waiting> m_waiting; // unfinished files, looked at again each tick
};

} // namespace quillet
