// Rendering one more message and bringing the log up to date, with a short and
// with a long conversation already in the view. Run from the build folder:
//   QT_QPA_PLATFORM=offscreen bench/render/bench_render
#include "chatwindow/conversationview.h"
#include "chatwindow/messagerenderer.h"
#include "core/support.h"
#include "core/textfile.h"
#include "richtext/rtfreader.h"
#include "richtext/rtfwriter.h"
#include "settings/settings.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// A private home for the logs, and a chat whose log folder lies in it.
class Home final
{
public:
    Home()
    {
        qputenv("XDG_DATA_HOME", m_dir.filePath(u"data"_s).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toUtf8());
    }
    QString chatFile() const { return m_dir.filePath(u"Room.QLIMChat"_s); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

const QString Body = u"Привет! Как дела? Сообщение обычной длины, line two."_s;

ConversationMessage message()
{
    return {{u"Гость"_s, Body, Clock::utcMessageTime(), MessageKind::Other, {}}, {}};
}

// The view's runs of `count` messages, without the log.
void fill(QTextEdit *view, int count)
{
    const MessageTime time = Clock::utcMessageTime();
    for (int i = 0; i < count; ++i)
        for (const TextRun &run : messageRuns(u"Гость"_s, Body, time, Qt::black))
            appendRun(view->document(), run);
}

struct Chat
{
    Home home;
    QTextEdit view;
    MessageRenderer renderer{&view, &view, home.chatFile(), parentFolder(home.chatFile())};

    explicit Chat(int count)
    {
        view.resize(600, 400);
        renderer.beginBatch();
        for (int i = 0; i < count; ++i)
            renderer.renderMessage(message());
        renderer.endBatch();
        view.show();
        renderer.saveLog(true);
    }
};

// One message rendered and logged, as the chat window does for every message.
void renderAndLog(benchmark::State &state)
{
    Chat chat(int(state.range(0)));
    for (auto _ : state)
        chat.renderer.renderMessage(message());
    state.counters["log_MiB"] =
        double(QFileInfo(chat.renderer.logFilePath()).size()) / (1024.0 * 1024.0);
}

// The same runs without the log: what the view itself costs.
void renderOnly(benchmark::State &state)
{
    Chat chat(int(state.range(0)));
    for (auto _ : state) {
        const ScrollKeeper scroll(&chat.view);
        fill(&chat.view, 1);
    }
}

// What a save costs when the whole log is written again: the method we avoid.
void fullRewrite(benchmark::State &state)
{
    Chat chat(int(state.range(0)));
    const QString path = chat.home.path(u"full.RTF"_s);
    for (auto _ : state) {
        fill(&chat.view, 1);
        benchmark::DoNotOptimize(TextFile::writeAtomically(path, writeRtf(*chat.view.document())));
    }
}

// Reading a long log back, as the logs viewer does.
void readLog(benchmark::State &state)
{
    Chat chat(int(state.range(0)));
    const QByteArray rtf = writeRtf(*chat.view.document());
    for (auto _ : state) {
        QTextDocument document;
        benchmark::DoNotOptimize(readRtf(rtf, &document));
    }
    state.SetBytesProcessed(qint64(state.iterations()) * rtf.size());
}

} // namespace

// Few iterations, so that the short conversation stays short while it is measured.
BENCHMARK(renderAndLog)->Arg(100)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(renderOnly)->Arg(100)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(fullRewrite)->Arg(100)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(20);
BENCHMARK(readLog)->Arg(1000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
