#include "frmlogsviewer.h"
#include "logdocument.h"
#include "logslist.h"
#include "settings.h"
#include "support.h"
#include "testenv.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

namespace {

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
        ChatFilePath = m_env.chats() + QStringLiteral("/team.QLIMChat");
        m_folder = GetLogsFolder(false).value();
        const QByteArray shared = conversationRtf(FolderBytes / LogCount, 0);
        for (int i = 0; i < LogCount; ++i) {
            const QString name = QStringLiteral("2026-%1-%2 %3-00-00.RTF")
                                     .arg(1 + i / 84, 2, 10, QLatin1Char('0'))
                                     .arg(1 + (i / 3) % 28, 2, 10, QLatin1Char('0'))
                                     .arg(8 + i % 3 * 4, 2, 10, QLatin1Char('0'));
            QFile file(bfBuildFileName(m_folder, name));
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
frmLogsViewer *openViewerAndWait()
{
    ShowLogsViewer();
    frmLogsViewer *viewer = frmLogsViewer::instance();
    while (viewer->isLoadingLog())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    viewer->repaint();
    return viewer;
}

void closeViewer()
{
    if (frmLogsViewer *viewer = frmLogsViewer::instance())
        viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The whole opening: enumerate 1,000 logs, read their sizes, fill the list,
// read and show the newest.
void BM_OpenViewerOn1000Logs(benchmark::State &state)
{
    fixture();
    for (auto _ : state) {
        frmLogsViewer *viewer = openViewerAndWait();
        const auto *list = viewer->findChild<QListWidget *>(QStringLiteral("lstFiles"));
        const auto *log = viewer->findChild<QTextEdit *>(QStringLiteral("rtfLog"));
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
        const LogsList list = BuildLogsList(folder, true, true);
        benchmark::DoNotOptimize(list.totalSize);
    }
}
BENCHMARK(BM_ListLogsFolder)->Unit(benchmark::kMillisecond);

void BM_ReadLog(benchmark::State &state)
{
    TestEnvironment env;
    const QString path = env.touch(QStringLiteral("log.RTF"), conversationRtf(state.range(0), 1));
    const QFont font = frmLogsViewer::viewerFont();
    for (auto _ : state) {
        QTextDocument document;
        const Status loaded = LoadLogDocument(path, &document, font);
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
    ChatFilePath = env.chats() + QStringLiteral("/large.QLIMChat");
    const QString folder = GetLogsFolder(false).value();
    const QByteArray rtf = conversationRtf(state.range(0), 2);
    QFile file(bfBuildFileName(folder, QStringLiteral("2026-12-05 10-00-00.RTF")));
    if (!file.open(QIODevice::WriteOnly) || file.write(rtf) != rtf.size())
        qFatal("cannot write the log");
    file.close();
    for (auto _ : state) {
        frmLogsViewer *viewer = openViewerAndWait();
        auto *log = viewer->findChild<QTextEdit *>(QStringLiteral("rtfLog"));
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
