#pragma once

#include "core/error.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace quillet {

// One place in a log where the query was found, or a log that could not be read.
struct LogSearchResult
{
    QString logPath;
    QDateTime logTime; // from the log's name; invalid when the name is no log time
    // The message holding the match; empty and invalid for text outside any message.
    QString sender;
    QDateTime messageTime;
    // The message line (paragraph) of the match, with line breaks inside the match
    // shown as blanks, cut around the match when it is long.
    QString line;
    qsizetype lineOffset = 0;
    // The match in the log's plain text: the same positions select it in the
    // document the viewer reads from the log.
    qsizetype position = 0;
    qsizetype length = 0;
    // Set when the log could not be read; then only logPath and logTime are set.
    std::optional<Error> error;
};

// Searches every log of a chat's logs folder for a text, newest log first, on
// worker threads. Letter case does not matter, nor "е" against "ё", and a blank in
// the query matches any run of blanks and line breaks in a message, so a phrase
// is found across the line breaks of a message. A match lies inside one message's
// text; the headers (sender and time) are not searched. A log that cannot be read
// is reported as a result with its error, and the search goes on.
//
// Only a few logs' text is held at a time. A new start() or cancel() drops the
// search under way at once; its workers stop after the log they are on.
class LogSearch final : public QObject
{
    Q_OBJECT

public:
    // A search stops after this many results: more cannot be looked through anyway.
    static constexpr int MaxResults = 10000;

    explicit LogSearch(QObject *parent = nullptr);
    ~LogSearch() override;
    Q_DISABLE_COPY_MOVE(LogSearch)

    // Starts searching the "*.RTF" logs of `logsFolder` (as the viewer lists them);
    // an empty query finds nothing. Results and the end are signalled later, from
    // the event loop, never from within this call.
    void start(const QString &logsFolder, const QString &query);
    void cancel();

    // A search was started and has neither finished nor been cancelled.
    bool isRunning() const { return m_job != nullptr; }
    // Worker threads are still busy, possibly with a search already cancelled.
    bool hasActiveWorkers() const { return m_pool.activeThreadCount() > 0; }
    // Logs the workers have taken up since the last start, of `logCount()`.
    int logsTaken() const;
    int logCount() const;

signals:
    // The results of one log, in text order; logs come newest first.
    void resultsFound(const QList<LogSearchResult> &results);
    // Every log was searched, or `limited`: MaxResults were found and the search stopped.
    void finished(bool limited);

private:
    struct Job;
    void deliver(const std::shared_ptr<Job> &job, int index, QList<LogSearchResult> results);
    void finish(bool limited);

    QThreadPool m_pool;
    std::shared_ptr<Job> m_job;
    std::shared_ptr<Job> m_lastJob; // kept for logsTaken() after the end
};

// The search of one log's plain text, exposed for tests and benchmarks.
namespace LogTextSearch {

// Folds text for matching: lower case, "ё" as "е", every blank or break as ' '.
// One unit in, one unit out, so positions stay those of the text.
QString fold(QStringView text);

// The results for `query` in the plain text of one log.
QList<LogSearchResult> search(const QString &text, const QString &query);

} // namespace LogTextSearch

} // namespace quillet

Q_DECLARE_METATYPE(quillet::LogSearchResult)
