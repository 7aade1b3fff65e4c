#include "core/support.h"
#include "gui/fonts.h"
#include "logsviewer/earliermessages.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "logsviewer/logslist.h"
#include "logsviewer/logsviewer.h"
#include "richtext/rtfreader.h"
#include "richtext/rtftextscanner.h"
#include "richtext/rtfwriter.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

QString chatFile; // the chat whose logs the viewer shows

constexpr int LogCount = 1000;
constexpr qint64 FolderBytes = 200LL * 1024 * 1024;

// A conversation of about `bytes` bytes of RTF, as the conversation log writes it.
QByteArray conversationRtf(qint64 bytes, int seed)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Tahoma;}}"
                     "{\\colortbl ;\\red0\\green128\\blue0;\\red128\\green0\\blue255;}"
                     "\\viewkind4\\uc1\\pard\\f0\\fs18 ";
    int line = 0;
    while (rtf.size() < bytes) {
        rtf += "\\cf" + QByteArray::number(1 + (line + seed) % 2) +
               "\\b\\fs16 Bob (12:" + QByteArray::number(10 + line % 50) +
               ":00 - 05.12.2026)\\par\\cf0\\b0\\fs18 "
               "\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2! A line of the conversation number " +
               QByteArray::number(line) + ", long enough to wrap in the view.\\par ";
        ++line;
    }
    return rtf + '}';
}

// One chat with 1,000 logs totalling 200 MB, made once for every benchmark.
class LogsFixture final
{
public:
    LogsFixture()
    {
        chatFile = m_env.chats() + u"/team.QLIMChat"_s;
        m_folder = logsFolder(chatFile, false).value();
        const QByteArray shared = conversationRtf(FolderBytes / LogCount, 0);
        for (int i = 0; i < LogCount; ++i) {
            const QString name = u"2026-%1-%2 %3-00-00.RTF"_s.arg(1 + i / 84, 2, 10, '0'_L1)
                                     .arg(1 + (i / 3) % 28, 2, 10, '0'_L1)
                                     .arg(8 + i % 3 * 4, 2, 10, '0'_L1);
            QFile file(joinPath(m_folder, name));
            if (!file.open(QIODevice::WriteOnly) || file.write(shared) != shared.size())
                qFatal("cannot write %s", qPrintable(name));
        }
    }
    QString folder() const { return m_folder; }

private:
    TestEnvironment m_env;
    QString m_folder;
};

LogsFixture &fixture()
{
    static LogsFixture logs;
    return logs;
}

// Opens the viewer and waits until its newest log is in the view.
LogsViewer *openViewerAndWait()
{
    showLogsViewer(chatFile);
    LogsViewer *viewer = LogsViewer::instance();
    while (viewer->isLoadingLog())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    viewer->repaint();
    return viewer;
}

void closeViewer()
{
    if (LogsViewer *viewer = LogsViewer::instance())
        viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The whole opening: enumerate 1,000 logs, read their sizes, fill the list,
// read and show the newest.
void BM_OpenViewerOn1000Logs(benchmark::State &state)
{
    fixture();
    for (auto _ : state) {
        LogsViewer *viewer = openViewerAndWait();
        const auto *list = viewer->findChild<QListWidget *>(u"lstFiles"_s);
        const auto *log = viewer->findChild<QTextEdit *>(u"rtfLog"_s);
        if (list->count() != LogCount || log->document()->isEmpty())
            state.SkipWithError("the viewer did not list and show the logs");
        benchmark::DoNotOptimize(log->document()->blockCount());
        state.PauseTiming();
        closeViewer();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenViewerOn1000Logs)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ListLogsFolder(benchmark::State &state)
{
    const QString folder = fixture().folder();
    for (auto _ : state) {
        const LogsList list = buildLogsList(folder, true, true);
        benchmark::DoNotOptimize(list.totalSize);
    }
}
BENCHMARK(BM_ListLogsFolder)->Unit(benchmark::kMillisecond);

void BM_ReadLog(benchmark::State &state)
{
    TestEnvironment env;
    const QString path = env.touch(u"log.RTF"_s, conversationRtf(state.range(0), 1));
    const QFont font = conversationFont();
    for (auto _ : state) {
        QTextDocument document;
        const Status loaded = loadLogDocument(path, &document, font);
        if (!loaded)
            state.SkipWithError("the log did not load");
        benchmark::DoNotOptimize(document.blockCount());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadLog)->Arg(200 * 1024)->Arg(20 * 1024 * 1024)->Unit(benchmark::kMillisecond);

// Opening the viewer on one large log: reading it (on the worker thread) and
// handing it to the view.
void BM_OpenViewerOnOneLog(benchmark::State &state)
{
    TestEnvironment env;
    chatFile = env.chats() + u"/large.QLIMChat"_s;
    const QString folder = logsFolder(chatFile, false).value();
    const QByteArray rtf = conversationRtf(state.range(0), 2);
    QFile file(joinPath(folder, u"2026-12-05 10-00-00.RTF"_s));
    if (!file.open(QIODevice::WriteOnly) || file.write(rtf) != rtf.size())
        qFatal("cannot write the log");
    file.close();
    for (auto _ : state) {
        LogsViewer *viewer = openViewerAndWait();
        auto *log = viewer->findChild<QTextEdit *>(u"rtfLog"_s);
        benchmark::DoNotOptimize(log->document()->blockCount());
        state.PauseTiming();
        closeViewer();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenViewerOnOneLog)
    ->Arg(20 * 1024 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// A log as our own writer makes it: Russian text, every letter as \uN?.
QByteArray ownWriterRtf(qint64 bytes)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat head;
    head.setFontPointSize(8);
    head.setFontWeight(QFont::Bold);
    QTextCharFormat body;
    body.setFontPointSize(9);
    QByteArray rtf;
    for (int i = 0; rtf.size() < bytes; ++i) {
        for (int m = 0; m < 200; ++m) {
            cursor.insertText(u" \r\n"_s, body);
            cursor.insertText(u"(12:00:%1 - 05.12.2026) Борис:  "_s.arg(m % 60), head);
            cursor.insertText(u"Привет! Встретимся у метро в %1, адрес: ул. Ёлочная, "
                              "5 (Latin text too).\r\n"_s.arg(i * 200 + m),
                              body);
        }
        rtf = writeRtf(document);
    }
    return rtf;
}

// A log of one message, as our writer makes it.
QByteArray oneMessageLog(const QString &text)
{
    QTextDocument document;
    QTextCursor(&document).insertText(u"(12:00:00 - 05.12.2026) Борис:  "_s + text + u"\r\n"_s);
    return writeRtf(document);
}

// Loading the earlier messages as a chat window opening does, from the start to the
// messages delivered on the event loop, the log files read from the page cache.
// Argument: 0 the newest log is 20 MB, 1 1,000 logs of one message each, 2 the
// newest log is one message of 20 MB (read up to the bound, then skipped) above
// 1,000 logs of one message.
void BM_LoadEarlierMessages(benchmark::State &state)
{
    TestEnvironment env;
    const QString folder = env.path(u"logs"_s);
    QDir().mkpath(folder);
    const auto write = [&](const QString &name, const QByteArray &rtf) {
        QFile file(joinPath(folder, name));
        if (!file.open(QIODevice::WriteOnly) || file.write(rtf) != rtf.size())
            qFatal("cannot write %s", qPrintable(name));
    };
    if (state.range(0) == 0) {
        write(u"2026-12-05 10-00-00.RTF"_s, ownWriterRtf(20 * 1024 * 1024));
    } else {
        const QByteArray small = oneMessageLog(u"Привет! Встретимся у метро."_s);
        for (int i = 0; i < LogCount; ++i)
            write(u"2026-11-%1 10-%2-00.RTF"_s.arg(1 + i / 60, 2, 10, '0'_L1)
                      .arg(i % 60, 2, 10, '0'_L1),
                  small);
        if (state.range(0) == 2)
            write(u"2026-12-05 10-00-00.RTF"_s, oneMessageLog(QString(3 * 1024 * 1024, u'ж')));
    }
    qint64 found = 0;
    for (auto _ : state) {
        EarlierMessagesLoader loader;
        QList<EarlierMessage> messages;
        bool done = false;
        QObject::connect(&loader, &EarlierMessagesLoader::loaded, &loader,
                         [&](const QList<EarlierMessage> &loaded) {
                             messages = loaded;
                             done = true;
                         });
        loader.start(folder);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        found = messages.size();
    }
    if (found != EarlierMessagesLoader::MaxMessages)
        state.SkipWithError("not all earlier messages were found");
    state.counters["messages"] = double(found);
}
BENCHMARK(BM_LoadEarlierMessages)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The text of one log without a document: the scanner's throughput, single thread.
void BM_ScanLogText(benchmark::State &state)
{
    const QByteArray rtf =
        state.range(1) ? ownWriterRtf(state.range(0)) : conversationRtf(state.range(0), 1);
    for (auto _ : state) {
        const Result<QString> text = RtfTextScanner::plainText(rtf);
        if (!text)
            state.SkipWithError("the log was refused");
        benchmark::DoNotOptimize(text.value().size());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ScanLogText)
    ->Args({200 * 1024, 0})
    ->Args({200 * 1024, 1})
    ->Args({20 * 1024 * 1024, 1})
    ->Unit(benchmark::kMillisecond);

// The same text through the full reader, for comparison.
void BM_ReadLogText(benchmark::State &state)
{
    const QByteArray rtf = ownWriterRtf(state.range(0));
    for (auto _ : state) {
        QTextDocument document;
        if (!readRtf(rtf, &document))
            state.SkipWithError("the log was refused");
        benchmark::DoNotOptimize(document.toPlainText().size());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ReadLogText)->Arg(200 * 1024)->Unit(benchmark::kMillisecond);

// Folding and matching one log's text, without reading or scanning it.
void BM_SearchLogText(benchmark::State &state)
{
    const QString text = RtfTextScanner::plainText(ownWriterRtf(200 * 1024)).value();
    for (auto _ : state)
        benchmark::DoNotOptimize(LogTextSearch::search(text, u"ёлочная 5"_s).size());
    state.SetBytesProcessed(state.iterations() * text.size() * 2);
}
BENCHMARK(BM_SearchLogText)->Unit(benchmark::kMillisecond);

// Processor time of the whole process, all threads, in milliseconds.
double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3) +
           (double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
}

// Searching the whole collection (1,000 logs, 200 MB) as the viewer will: from the
// start to the first result and to the end, with the event loop running. Argument:
// 0 a query found once in every log, 1 a query found nowhere.
void BM_SearchAllLogs(benchmark::State &state)
{
    const QString folder = fixture().folder();
    const QString query = state.range(0) ? u"nowhere to be found"_s : u"NUMBER 777,"_s;
    double firstMs = 0;
    double results = 0;
    double cpuMs = 0;
    for (auto _ : state) {
        LogSearch search;
        QElapsedTimer clock;
        qint64 first = -1;
        int found = 0;
        QObject::connect(&search, &LogSearch::resultsFound, &search,
                         [&](const QList<LogSearchResult> &batch) {
                             if (first < 0)
                                 first = clock.nsecsElapsed();
                             found += int(batch.size());
                         });
        QSignalSpy finished(&search, &LogSearch::finished);
        const double cpuBefore = processCpuMs();
        clock.start();
        search.start(folder, query);
        while (finished.isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        cpuMs += processCpuMs() - cpuBefore;
        firstMs += double(first) / 1e6;
        results += found;
    }
    state.counters["first_result_ms"] = firstMs / double(state.iterations());
    state.counters["results"] = results / double(state.iterations());
    state.counters["all_threads_cpu_ms"] = cpuMs / double(state.iterations());
    state.SetBytesProcessed(state.iterations() * FolderBytes);
}
BENCHMARK(BM_SearchAllLogs)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The search as the viewer runs it: from the query typed (the pause in typing
// included) to the first row listed and to the end, and the longest time the
// window's thread did not get to its events meanwhile. Argument: 0 a query found
// once in every log (1,000 rows), 1 one found on every line (stops at the limit).
void BM_SearchInViewer(benchmark::State &state)
{
    fixture();
    const QString query = state.range(0) ? u"conversation"_s : u"NUMBER 777,"_s;
    double firstMs = 0;
    double rows = 0;
    double longestPauseMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        LogsViewer *viewer = openViewerAndWait();
        viewer->openSearch();
        auto *field = viewer->findChild<QLineEdit *>(u"txtSearch"_s);
        auto *results = viewer->findChild<QTreeWidget *>(u"lstResults"_s);
        auto *search = viewer->findChild<LogSearch *>();
        QSignalSpy finished(search, &LogSearch::finished);
        QElapsedTimer clock;
        qint64 first = -1;
        qint64 lastTick = 0;
        qint64 longest = 0;
        QTimer ticker;
        ticker.setInterval(0);
        QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = qMax(longest, now - lastTick);
            lastTick = now;
            if (first < 0 && results->topLevelItemCount() > 0)
                first = now;
        });
        state.ResumeTiming();
        clock.start();
        ticker.start();
        field->setText(query);
        while (finished.isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        ticker.stop();
        state.PauseTiming();
        firstMs += double(first) / 1e6;
        rows += results->topLevelItemCount();
        longestPauseMs = qMax(longestPauseMs, double(longest) / 1e6);
        closeViewer();
        state.ResumeTiming();
    }
    state.counters["first_row_ms"] = firstMs / double(state.iterations());
    state.counters["rows"] = rows / double(state.iterations());
    state.counters["longest_pause_ms"] = longestPauseMs;
}
BENCHMARK(BM_SearchInViewer)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
