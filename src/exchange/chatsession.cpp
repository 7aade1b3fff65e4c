#include "exchange/chatsession.h"

#include <algorithm>
#include <cerrno>

#include <QDateTime>
#include <QFileInfo>
#include <QPointer>

#include "core/support.h"
#include "core/textfile.h"
#include "exchange/conversation.h"
#include "exchange/folderwatcher.h"
#include "exchange/messagefolder.h"
#include "platform/filesystem.h"

using namespace Qt::StringLiterals;

namespace quillet {

namespace {

QString receiveErrorLine(const Error &error)
{
    return u"Ошибка получения сообщения. Код "_s + errorNumberText(error.number) + u"\r\n"_s +
           error.description;
}

QString nameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

ChatSession::ChatSession(const QString &folder, const QString &myGuid, Conversation *conversation,
                         QObject *parent)
    : QObject(parent), m_folderPath(folder), m_myGuid(myGuid), m_conversation(conversation),
      m_folder(std::make_unique<MessageFolder>(folder)),
      m_watcher(std::make_unique<FolderWatcher>())
{
    m_tick.setInterval(TickIntervalMs);
    connect(&m_tick, &QTimer::timeout, this, &ChatSession::tick);
}

ChatSession::~ChatSession() = default;

void ChatSession::start()
{
    (void)m_watcher->start(m_folderPath); // without it the folder is polled
    m_sinceWatchTry.start();
    m_networkFolder = isNetworkFileSystem(m_folderPath);
    m_running = true;
    m_tick.start();
}

void ChatSession::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_tick.stop();
    // The exit has just saved the log (or tried to): whatever was shown is in it.
    m_owedMarks += std::exchange(m_unsaved, {});
    for (const QString &path : std::as_const(m_owedMarks))
        markShown(path);
    m_owedMarks.clear();
    m_batch.clear();
    m_dispatching = false;
    m_watcher.reset(new FolderWatcher);
}

bool ChatSession::isPolling() const
{
    return m_networkFolder || !m_watcher->isWatching();
}

void ChatSession::tick()
{
    emit ticked();
    // A tick during a batch waits: the watcher keeps the changes for a later one.
    if (!m_running || m_dispatching)
        return;
    if (!m_firstTickDone) {
        m_firstTickDone = true;
        m_sincePoll.start();
        dispatchAll(Reason::FirstTick);
        return;
    }
    ensureWatch();
    if (m_dispatching)
        return; // the watch came back and the folder is being read whole
    if (m_watcher->hasChanged())
        dispatchAll(Reason::Change);
    else if (isPolling() && m_sincePoll.elapsed() >= PollIntervalMs)
        dispatchAll(Reason::Poll);
    else if (!m_waiting.isEmpty())
        dispatchAll(Reason::Recheck);
}

// A watch that never started is tried again now and then; once it runs, the
// folder is read whole, since changes before it went unseen.
void ChatSession::ensureWatch()
{
    if (m_watcher->isWatching() || m_sinceWatchTry.elapsed() < WatchRetryIntervalMs)
        return;
    m_sinceWatchTry.restart();
    // A watcher that started once looks for its folder again by itself.
    if (m_watcher->isStarted())
        return;
    if (m_watcher->start(m_folderPath)) {
        m_networkFolder = isNetworkFileSystem(m_folderPath);
        dispatchAll(Reason::Poll);
    }
}

void ChatSession::dispatchAll(Reason reason)
{
    if (reason == Reason::Poll || isPolling())
        m_sincePoll.restart();
    FolderWatcher *watcher = reason == Reason::Poll ? nullptr : m_watcher.get();
    if (!m_folder->needsFullListing(watcher)) {
        dispatchListed(reason, m_folder->listUnseen(watcher));
        return;
    }
    // Reading the marks of a large folder takes a while: in slices as well.
    m_folder->startFullListing(watcher);
    m_dispatching = true;
    continueListing(reason);
}

void ChatSession::continueListing(Reason reason)
{
    if (!m_running)
        return;
    QElapsedTimer budget;
    budget.start();
    if (!m_folder->continueFullListing(budget, SliceMs)) {
        QTimer::singleShot(0, this, [this, reason] { continueListing(reason); });
        return;
    }
    m_dispatching = false;
    dispatchListed(reason, m_folder->unseenPaths());
}

void ChatSession::dispatchListed(Reason reason, const QStringList &listed)
{
    // Files that went away before they were finished no longer wait.
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (listed.contains(it.key()))
            ++it;
        else
            it = m_waiting.erase(it);
    }
    QStringList batch;
    batch.reserve(listed.size());
    for (const QString &path : listed) {
        if (!m_dispatched.contains(path))
            batch.append(path);
    }
    if (batch.isEmpty()) {
        if (reason == Reason::FirstTick || reason == Reason::Change)
            emit falseAlarmRaised(u"dispatchAll() ==> Ложное срабатывание."_s);
        return;
    }
    m_batch = batch; // in name order, which is send order
    m_next = 0;
    m_dispatching = true;
    m_sinceSave.start();
    // The listing and the first slice are two pauses of the event loop, not one.
    QTimer::singleShot(0, this, &ChatSession::runSlice);
}

// One turn of the event loop: owed marks first, then as many files as were
// read and shown within the slice time last time, then the save when due
// (in a turn of its own, so a slice and a save never add up to one pause).
void ChatSession::runSlice()
{
    if (!m_running || !m_dispatching)
        return;
    QElapsedTimer budget;
    budget.start();
    if (!markOwed(budget)) {
        QTimer::singleShot(0, this, &ChatSession::runSlice);
        return;
    }
    const qsizetype first = m_conversation->size();
    qsizetype looked = 0;
    while (m_next < m_batch.size() && looked < m_sliceFiles && budget.elapsed() < SliceMs) {
        const QString &path = m_batch.at(m_next++);
        ++looked;
        if (!takeMessage(path))
            continue;
        m_dispatched.insert(path);
        m_unsaved.append(path);
        m_waiting.remove(path);
        m_watcher->forgetWriteState(QFile::encodeName(nameOf(path)));
    }
    const QPointer<ChatSession> alive(this);
    if (const qsizetype count = m_conversation->size() - first; count > 0)
        emit received(first, count);
    if (!alive || !m_running)
        return; // the chat exited meanwhile
    // Showing costs more than reading: the next slice takes as many files as fit.
    const qint64 took = std::max<qint64>(budget.elapsed(), 1);
    const qsizetype fit = looked * SliceMs / took;
    m_sliceFiles = std::clamp<qsizetype>((m_sliceFiles + fit) / 2, 1, MaxSliceFiles);
    const bool done = m_next >= m_batch.size();
    if (done || m_sinceSave.elapsed() >= SaveIntervalMs || m_unsaved.size() >= MaxUnsavedFiles)
        QTimer::singleShot(0, this, &ChatSession::saveSlice);
    else
        QTimer::singleShot(0, this, &ChatSession::runSlice);
}

void ChatSession::saveSlice()
{
    if (!m_running || !m_dispatching)
        return;
    saveAndOweMarks();
    m_sinceSave.restart();
    if (m_next < m_batch.size()) {
        QTimer::singleShot(0, this, &ChatSession::runSlice);
        return;
    }
    finishBatch();
}

// The marks right after the last save, in slices of their own.
void ChatSession::finishBatch()
{
    if (!m_running || !m_dispatching)
        return;
    QElapsedTimer budget;
    budget.start();
    if (!markOwed(budget)) {
        QTimer::singleShot(0, this, &ChatSession::finishBatch);
        return;
    }
    m_batch.clear();
    m_dispatching = false;
    emit batchFinished();
}

// Reads one file into the conversation; false when it is not finished yet and waits.
bool ChatSession::takeMessage(const QString &path)
{
    const QByteArray name = QFile::encodeName(nameOf(path));
    const FolderWatcher::WriteState state = m_watcher->writeState(name);
    if (state == FolderWatcher::WriteState::Writing && !hasBeenQuiet(path))
        return false;
    const Result<QString> content = TextFile::readText(path);
    Result<ReceivedMessage> message = content ? parseMessageContent(content.value(), m_myGuid)
                                              : Result<ReceivedMessage>(content.error());
    // Without word from the watcher the content tells: a cut file does not parse,
    // or has lost its last field (a text cut short would pass for one's own).
    if (state == FolderWatcher::WriteState::Unknown) {
        const bool looksCut = !message || !looksComplete(content.value());
        if (looksCut && !hasBeenQuiet(path))
            return false;
    }
    ConversationMessage entry{{}, name};
    if (message) {
        entry.message = std::move(message.value());
    } else {
        entry.message = {appTitle(),
                         receiveErrorLine(message.error()),
                         Clock::utcMessageTime(),
                         MessageKind::System,
                         {}};
    }
    m_conversation->append(std::move(entry));
    return true;
}

// Quiet: not modified for a while by its own clock, or unchanged in size and
// time for a while as seen from here (a file server's clock may run ahead).
bool ChatSession::hasBeenQuiet(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    const qint64 nowMs = Clock::nowUtc().toMSecsSinceEpoch();
    const qint64 modifiedMs = info.lastModified().toMSecsSinceEpoch();
    if (nowMs - modifiedMs >= QuietMs)
        return true;
    Waiting &waiting = m_waiting[path];
    if (waiting.size != info.size() || waiting.modifiedMs != modifiedMs) {
        waiting.size = info.size();
        waiting.modifiedMs = modifiedMs;
        waiting.unchangedSinceMs = nowMs;
        return false;
    }
    return nowMs - waiting.unchangedSinceMs >= QuietMs;
}

void ChatSession::saveAndOweMarks()
{
    if (m_unsaved.isEmpty())
        return;
    // A failed save is tried again with the next one; holding the marks back
    // would turn a broken logs folder into the whole history shown again.
    if (m_saveLog)
        (void)m_saveLog();
    m_owedMarks += std::exchange(m_unsaved, {});
}

// Marks within the slice's budget; true when none is owed any more.
bool ChatSession::markOwed(const QElapsedTimer &budget)
{
    qsizetype marked = 0;
    while (marked < m_owedMarks.size() && budget.elapsed() < SliceMs)
        markShown(m_owedMarks.at(marked++));
    m_owedMarks.remove(0, marked);
    return m_owedMarks.isEmpty();
}

// A file that could not be marked is not shown again in this run all the same;
// the next run shows it again. One that went away needs no mark.
void ChatSession::markShown(const QString &path)
{
    const Status marked = m_folder->markShown(path);
    if (!marked && marked.error().number != ENOENT)
        qWarning("cannot mark %s shown: %s", qPrintable(path),
                 qPrintable(marked.error().description));
}

} // namespace quillet
