#include "logsviewer/logsearch.h"

#include "core/messageheader.h"
#include "core/support.h"
#include "core/textfile.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logfiles.h"
#include "logsviewer/logslist.h"
#include "richtext/rtftextscanner.h"

#include <QFileInfo>
#include <QHash>
#include <QRunnable>
#include <QThread>

#include <array>
#include <atomic>

using namespace Qt::StringLiterals;

namespace quillet {

namespace {

// Context kept on each side of a match in a long line.
constexpr qsizetype LineContext = 80;
// Stands in the folded text for header characters: nothing in a query folds to it,
// so no match can include a header or run from one message into the next.
constexpr char16_t HeaderMark = 0;

const std::array<char16_t, 65536> &foldTable()
{
    static const auto table = [] {
        auto folded = std::make_unique<std::array<char16_t, 65536>>();
        for (char32_t c = 0; c < 65536; ++c) {
            char16_t f = char16_t(QChar::toCaseFolded(c));
            if (f == u'ё')
                f = u'е';
            if (c < 0x20 || QChar::isSpace(c))
                f = u' ';
            (*folded)[c] = f;
        }
        return folded;
    }();
    return *table;
}

// The line of a match for a result list: from the start of the match's first line
// (or of the message text) to the end of its last line, breaks as blanks, cut to
// some context around the match.
void describeLine(LogSearchResult &result, QStringView text, qsizetype lineFloor)
{
    const qsizetype matchEnd = result.position + result.length;
    qsizetype start = result.position > 0 ? text.lastIndexOf(u'\n', result.position - 1) + 1 : 0;
    start = qMax(start, lineFloor);
    qsizetype end = text.indexOf(u'\n', matchEnd);
    if (end < 0)
        end = text.size();
    const bool cutStart = result.position - start > LineContext;
    const bool cutEnd = end - matchEnd > LineContext;
    if (cutStart)
        start = result.position - LineContext;
    if (cutEnd)
        end = matchEnd + LineContext;
    QString line;
    line.reserve(end - start + 2);
    if (cutStart)
        line += u'…';
    result.lineOffset = line.size() + (result.position - start);
    line += text.sliced(start, end - start);
    if (cutEnd)
        line += u'…';
    line.replace(u'\n', u' ');
    result.line = std::move(line);
}

// Reads and searches one log.
QList<LogSearchResult> searchLog(const QString &path, const QString &query,
                                 const std::atomic<bool> &cancelled)
{
    LogSearchResult log;
    log.logPath = path;
    log.logTime =
        QDateTime::fromString(QFileInfo(path).completeBaseName(), u"yyyy-MM-dd hh-mm-ss"_s);
    Result<QString> text = [&]() -> Result<QString> {
        const Result<QByteArray> bytes = TextFile::readBytes(path, MaxLogFileSize);
        if (!bytes) {
            return bytes.error().number == ErrorCode::FileTooLarge
                       ? Error::make(ErrorCode::LogTooLarge)
                       : bytes.error();
        }
        if (cancelled.load(std::memory_order_relaxed))
            return QString();
        return RtfTextScanner::plainText(bytes.value());
    }();
    if (!text) {
        log.error = text.error();
        return {log};
    }
    if (cancelled.load(std::memory_order_relaxed))
        return {};
    QList<LogSearchResult> results = LogTextSearch::search(text.value(), query);
    for (LogSearchResult &result : results) {
        result.logPath = log.logPath;
        result.logTime = log.logTime;
    }
    return results;
}

} // namespace

QString LogTextSearch::fold(QStringView text)
{
    const std::array<char16_t, 65536> &table = foldTable();
    QString folded(text.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    const QChar *in = text.data();
    for (qsizetype i = 0, n = text.size(); i < n; ++i)
        out[i] = QChar(table[in[i].unicode()]);
    return folded;
}

QList<LogSearchResult> LogTextSearch::search(const QString &text, const QString &query)
{
    const QString foldedQuery = fold(query);
    const QList<QStringView> words = QStringView(foldedQuery).split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QList<MessageHeader> messages = findMessageHeaders(text);
    QString folded = fold(text);
    for (const MessageHeader &message : messages) {
        std::fill(folded.begin() + message.start, folded.begin() + message.bodyStart,
                  QChar(HeaderMark));
    }

    QList<LogSearchResult> results;
    const QStringView haystack(folded);
    qsizetype messageIndex = -1; // the last message starting at or before the match
    qsizetype from = 0;
    for (;;) {
        const qsizetype found = haystack.indexOf(words.first(), from);
        if (found < 0)
            break;
        qsizetype end = found + words.first().size();
        bool whole = true;
        for (qsizetype w = 1; w < words.size() && whole; ++w) {
            qsizetype next = end;
            while (next < haystack.size() && haystack[next] == u' ')
                ++next;
            whole = next > end && haystack.sliced(next).startsWith(words.at(w));
            end = next + words.at(w).size();
        }
        if (!whole) {
            from = found + 1;
            continue;
        }
        while (messageIndex + 1 < messages.size() && messages.at(messageIndex + 1).start <= found)
            ++messageIndex;
        LogSearchResult result;
        result.position = found;
        result.length = end - found;
        qsizetype lineFloor = 0;
        if (messageIndex >= 0) {
            const MessageHeader &message = messages.at(messageIndex);
            const MessageTime &time = message.time;
            result.sender = message.sender;
            // Made only for a result: a local QDateTime asks the C library about the
            // time zone each time.
            result.messageTime = QDateTime(QDate(time.year, time.month, time.day),
                                           QTime(time.hour, time.minute, time.second));
            lineFloor = message.bodyStart;
        }
        describeLine(result, text, lineFloor);
        results.append(std::move(result));
        from = end;
    }
    return results;
}

struct LogSearch::Job
{
    QStringList paths; // newest log first
    QString query;
    std::atomic<bool> cancelled = false;
    std::atomic<int> next = 0; // the next log a worker takes

    // Used on the owner's thread only: results wait here until all newer logs are delivered.
    QHash<int, QList<LogSearchResult>> waiting;
    int nextToDeliver = 0;
    int found = 0;
};

LogSearch::LogSearch(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
}

LogSearch::~LogSearch()
{
    cancel();
    m_pool.waitForDone();
}

void LogSearch::start(const QString &logsFolder, const QString &query)
{
    cancel();
    auto job = std::make_shared<Job>();
    job->query = query;
    if (Result<QStringList> names = listNormalFiles(logsFolder, u".RTF"_s); names) {
        for (const QString &name : arrangeLogNames(std::move(names).value(), true, true).names)
            job->paths.append(joinPath(logsFolder, name));
    }
    m_job = job;
    m_lastJob = job;
    if (job->paths.isEmpty() || LogTextSearch::fold(query).trimmed().isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this, job] {
                if (m_job == job)
                    finish(false);
            },
            Qt::QueuedConnection);
        return;
    }
    const int workers = qMin(m_pool.maxThreadCount(), int(job->paths.size()));
    for (int i = 0; i < workers; ++i) {
        m_pool.start([this, job] {
            while (!job->cancelled.load(std::memory_order_relaxed)) {
                const int index = job->next.fetch_add(1);
                if (index >= job->paths.size())
                    return;
                QList<LogSearchResult> results =
                    searchLog(job->paths.at(index), job->query, job->cancelled);
                if (job->cancelled.load(std::memory_order_relaxed))
                    return;
                // The owner outlives its workers (its destructor waits for them), and
                // an event still queued when it goes is dropped with it.
                QMetaObject::invokeMethod(
                    this,
                    [this, job, index, results = std::move(results)]() mutable {
                        deliver(job, index, std::move(results));
                    },
                    Qt::QueuedConnection);
            }
        });
    }
}

void LogSearch::cancel()
{
    if (!m_job)
        return;
    m_job->cancelled = true;
    m_job.reset();
    m_pool.clear(); // workers not started yet never start
}

int LogSearch::logsTaken() const
{
    return m_lastJob ? qMin(m_lastJob->next.load(), int(m_lastJob->paths.size())) : 0;
}

int LogSearch::logCount() const
{
    return m_lastJob ? int(m_lastJob->paths.size()) : 0;
}

// Hands on results in the order of the logs, whichever worker finished first.
void LogSearch::deliver(const std::shared_ptr<Job> &job, int index, QList<LogSearchResult> results)
{
    if (job != m_job)
        return;
    job->waiting.insert(index, std::move(results));
    for (auto it = job->waiting.find(job->nextToDeliver); it != job->waiting.end();
         it = job->waiting.find(job->nextToDeliver)) {
        QList<LogSearchResult> batch = std::move(*it);
        job->waiting.erase(it);
        ++job->nextToDeliver;
        if (batch.isEmpty())
            continue;
        const int room = MaxResults - job->found;
        const bool limited = batch.size() >= room;
        if (batch.size() > room)
            batch.resize(room);
        job->found += int(batch.size());
        emit resultsFound(batch);
        if (m_job != job)
            return; // a receiver started another search or cancelled this one
        if (limited) {
            finish(true);
            return;
        }
    }
    if (job->nextToDeliver == job->paths.size())
        finish(false);
}

void LogSearch::finish(bool limited)
{
    cancel();
    emit finished(limited);
}

} // namespace quillet
