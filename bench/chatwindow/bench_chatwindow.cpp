// Measures the chat window as the user meets it, on a real exchange folder in a
// temporary home: the first batch of a folder full of unseen messages, the CPU
// an idle chat costs, and the delay from a message file appearing to its text
// in the view. Run headless: QT_QPA_PLATFORM=offscreen bench_chatwindow [mode]
// with mode batch [count], batch-earlier [count] (the chat's earlier log 20 MB),
// pictures [count] (each message with a picture), earlier, model [count], idle
// [seconds], latency [count] or send [megabytes] (default: all), or
// "screenshot <file.png>" for a picture of the window with a few messages.

#include "chatwindow/chatwindow.h"
#include "chatwindow/filesending.h"
#include "chatwindow/messagerenderer.h"
#include "chatwindow/trayavailability.h"
#include "core/chatcontext.h"
#include "exchange/conversation.h"
#include "gui/boxes.h"
#include "messagewithfiles.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <cstdio>

#include <malloc.h>

#include <sys/resource.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QUuid>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The resident memory of the process, in MiB.
double residentMiB()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toDouble() * 4096 / (1024 * 1024);
}

// The heap memory in use, in MiB: unlike the resident size, it does not count
// what the allocator keeps for later.
double heapMiB()
{
    return double(mallinfo2().uordblks) / (1024 * 1024);
}

// Runs the event loop until `done` holds, checking every `pollMs`.
template <class Done> qint64 runUntil(Done done, int pollMs, qint64 limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QEventLoop loop;
        QTimer::singleShot(pollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return clock.elapsed();
}

// A 5 ms heartbeat: the longest gap between its beats is the longest pause of
// the event loop while it runs.
void watchPauses(QTimer &heartbeat, QElapsedTimer &beat, qint64 &longestGap)
{
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, &heartbeat,
                     [&] { longestGap = std::max(longestGap, beat.restart()); });
}

struct Chat
{
    TestEnvironment env;
    std::unique_ptr<ChatWindow> window;
    ChatContext context;

    Chat()
    {
        context = {env.touch(u"chats/bench.QLIMChat"_s), env.chats(), u"{BENCH}"_s};
        appSettings() = SettingsRecord{};
        overrideTrayAvailable(true);
        Boxes::setHandler([](const BoxRequest &) { return BoxReply{BoxAnswer::Ignore, {}}; });
    }
    void open()
    {
        window = std::make_unique<ChatWindow>(context);
        window->startSession();
        window->show();
    }
    QTextEdit *view() const { return window->findChild<QTextEdit *>(u"rtfLog"_s); }
};

// A log of an earlier session of the chat: 50,000 messages, about 20 MB.
void writeEarlierLog(const Chat &chat)
{
    Clock::setFixedUtc(QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC));
    QTextEdit view;
    MessageRenderer earlier(&view, &view, chat.context.chatFile, chat.context.exchangeFolder);
    earlier.beginBatch();
    for (int i = 0; i < 50000; ++i)
        earlier.renderMessage({{u"Гость"_s,
                                u"Сообщение обычной длины номер %1, line two."_s.arg(i),
                                Clock::utcMessageTime(),
                                MessageKind::Other,
                                {}},
                               {}});
    earlier.endBatch();
    (void)earlier.saveLog(true);
    Clock::reset();
}

void benchBatch(int count, bool withEarlierLog)
{
    Chat chat;
    if (withEarlierLog)
        writeEarlierLog(chat);
    for (int i = 0; i < count; ++i)
        writeForeignMessage(chat.env.chats(), i / 3600, i / 60 % 60, i % 60,
                            u"sender %1"_s.arg(i % 7),
                            u"message number %1 with some ordinary text"_s.arg(i));
    const QString last = u"message number %1 "_s.arg(count - 1);

    qint64 longestGap = 0;
    QElapsedTimer beat;
    QTimer heartbeat;
    watchPauses(heartbeat, beat, longestGap);

    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    chat.open();
    beat.start();
    heartbeat.start();
    // The last message's body is the paragraph before the final empty one.
    const auto lastShown = [&] {
        const QTextDocument *document = chat.view()->document();
        for (QTextBlock block = document->lastBlock();
             block.isValid() && block.blockNumber() > document->blockCount() - 4;
             block = block.previous())
            if (block.text().contains(last))
                return true;
        return false;
    };
    runUntil(lastShown, 20, 120000);
    const qint64 shown = clock.elapsed();
    // The batch ends once the log holding the last slice is saved and its files marked.
    runUntil([&] { return !chat.window->session()->isDispatching(); }, 5, 120000);
    const qint64 marked = clock.elapsed();
    const double cpu = cpuSeconds() - cpuBefore;
    heartbeat.stop();
    int hidden = 0;
    for (const QString &name : QDir(chat.env.chats()).entryList({u"*.QLIM"_s}))
        hidden += dosAttributes(chat.env.chats() + '/'_L1 + name) == "0x2";
    const double resident = residentMiB();
    malloc_trim(0); // what the allocator kept for later goes back
    const double trimmed = residentMiB();
    std::printf("batch: %d messages shown in %lld ms, saved and marked in %lld ms (%.2f s CPU), "
                "%d marked shown, longest event-loop pause %lld ms, resident %.0f MiB, heap %.0f "
                "MiB, resident after malloc_trim %.0f MiB\n",
                count, static_cast<long long>(shown), static_cast<long long>(marked), cpu, hidden,
                static_cast<long long>(longestGap), resident, heapMiB(), trimmed);
}

// A photo-like picture: a gradient with some noise, so it compresses as photos do.
QByteArray photoBytes(QSize size, const char *format, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x + seed * 37) % 256, (y * 3) % 256, (x ^ y) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// The first tick on messages that each carry a picture (JPEG and PNG in turn,
// 1600 x 1200 and 1200 x 900): until every thumbnail is in the view.
void benchPictures(int count)
{
    Chat chat;
    const QByteArray jpeg = photoBytes({1600, 1200}, "JPEG", 1),
                     png = photoBytes({1200, 900}, "PNG", 2);
    for (int i = 0; i < count; ++i)
        writeMessageWithFiles(
            chat.env.chats(), u"Марина"_s, u"фото %1"_s.arg(i),
            {{i % 2 ? u"фото %1.png"_s.arg(i) : u"фото %1.jpg"_s.arg(i), i % 2 ? png : jpeg}});
    QElapsedTimer beat;
    qint64 longestGap = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, &heartbeat,
                     [&] { longestGap = std::max(longestGap, beat.restart()); });
    QElapsedTimer clock;
    clock.start();
    chat.open();
    beat.start();
    heartbeat.start();
    int thumbnails = 0;
    const auto allShown = [&] {
        thumbnails = 0;
        for (QTextBlock block = chat.view()->document()->begin(); block.isValid();
             block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                thumbnails += it.fragment().charFormat().toImageFormat().name().startsWith(
                    u"quillet-thumbnail:"_s);
        return thumbnails == count;
    };
    runUntil(allShown, 20, 120000);
    const qint64 shown = clock.elapsed();
    heartbeat.stop();
    std::printf("pictures: %d messages with %d thumbnails shown in %lld ms, longest event-loop "
                "pause %lld ms, resident %.0f MiB\n",
                count, thumbnails, static_cast<long long>(shown),
                static_cast<long long>(longestGap), residentMiB());
}

// What the conversation model holds per message, next to what the view holds.
void benchModel(int count)
{
    const double before = residentMiB();
    Conversation conversation;
    const MessageTime time = Clock::utcMessageTime();
    for (int i = 0; i < count; ++i)
        conversation.append(
            {{u"sender %1"_s.arg(i % 7),
              u"message number %1 with some ordinary text"_s.arg(i),
              time,
              MessageKind::Other,
              {}},
             QFile::encodeName(messageFileName(time, QUuid::createUuid().toString()))});
    std::printf("model: %d messages, %.0f bytes per message\n", count,
                (residentMiB() - before) * 1024 * 1024 / count);
}

// From the window's start to its earlier messages in view, the newest log 20 MB.
void benchEarlier()
{
    Chat chat;
    writeEarlierLog(chat);
    QElapsedTimer clock;
    clock.start();
    chat.open();
    runUntil([&] { return chat.view()->toPlainText().contains(u"Ранее в этом чате"_s); }, 1, 10000);
    std::printf("earlier: shown %lld ms after the window's start (newest log %.1f MB)\n",
                static_cast<long long>(clock.elapsed()),
                double(QFileInfo(QDir(logsFolder(chat.context.chatFile, true).value())
                                     .entryInfoList({u"*.RTF"_s})
                                     .value(0))
                           .size()) /
                    1e6);
}

void benchIdle(int seconds)
{
    Chat chat;
    chat.open();
    runUntil([] { return false; }, 100, 1000); // past the first tick
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runUntil([] { return false; }, 1000, seconds * 1000LL);
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("idle: %.3f s CPU over %.1f s wall = %.3f %% of one core\n", cpu,
                wall.elapsed() / 1000.0, 100.0 * cpu / (wall.elapsed() / 1000.0));
}

void benchLatency(int count)
{
    Chat chat;
    chat.open();
    runUntil([] { return false; }, 100, 1000);
    qint64 worst = 0;
    qint64 total = 0;
    for (int i = 0; i < count; ++i) {
        const QString text = u"latency probe %1 end"_s.arg(i);
        // Start at a random point of the timer period.
        runUntil([] { return false; }, 1, 37 * (i % 7));
        QElapsedTimer clock;
        clock.start();
        writeForeignMessage(chat.env.chats(), 12, i / 60, i % 60, u"probe"_s, text);
        runUntil([&] { return chat.view()->toPlainText().contains(text); }, 1, 5000);
        const qint64 delay = clock.elapsed();
        worst = std::max(worst, delay);
        total += delay;
    }
    std::printf("latency: %d messages, mean %.1f ms, worst %lld ms (file written -> text in "
                "view)\n",
                count, double(total) / count, static_cast<long long>(worst));
}

// A file of random bytes sent as a drop sends it, while a 5 ms heartbeat
// measures the event loop's longest pause. Source and copy lie in the temporary
// home, which goes at the end.
void benchSend(int megabytes)
{
    Chat chat;
    const QString source = chat.env.path(u"send.bin"_s);
    {
        QFile out(source);
        if (!out.open(QIODevice::WriteOnly))
            return;
        QByteArray chunk(1024 * 1024, Qt::Uninitialized);
        for (int i = 0; i < megabytes; ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()),
                                                  chunk.size() / 4);
            out.write(chunk);
        }
    }
    chat.open();
    runUntil([] { return false; }, 100, 1000); // past the first tick
    qint64 longestGap = 0;
    QElapsedTimer beat;
    QTimer heartbeat;
    watchPauses(heartbeat, beat, longestGap);
    auto *sending = chat.window->findChild<FileSending *>();
    QElapsedTimer clock;
    clock.start();
    beat.start();
    heartbeat.start();
    sending->sendFiles({source});
    bool progressShown = false;
    runUntil(
        [&] {
            progressShown = progressShown || sending->isVisible();
            return !sending->isSending();
        },
        5, 600000);
    const qint64 elapsed = clock.elapsed();
    heartbeat.stop();
    const bool sent = !QDir(chat.env.chats()).entryList({u"*.QLIM"_s}).isEmpty();
    std::printf("send: %d MB %s in %lld ms (%.0f MB/s), progress shown: %s, longest event-loop "
                "pause %lld ms\n",
                megabytes, sent ? "sent" : "NOT sent", static_cast<long long>(elapsed),
                megabytes * 1.048576 * 1000 / qMax<qint64>(elapsed, 1),
                progressShown ? "yes" : "no", static_cast<long long>(longestGap));
}

// A picture of the chat window with a few messages in it, for the README.
void screenshot(const QString &path)
{
    Chat chat;
    const QString guid = u"{OTHER}"_s;
    writeForeignMessage(chat.env.chats(), 9, 58, 12, u"Марина"_s,
                        u"Доброе утро! Отчёт за ноябрь уже в общей папке."_s, guid);
    writeForeignMessage(chat.env.chats(), 9, 59, 3, u"Алексей"_s, u"Спасибо, посмотрю до обеда."_s,
                        chat.context.userId);
    writeForeignMessage(chat.env.chats(), 10, 1, 40, u"Марина"_s,
                        u"Отлично. Созвон в 14:00 в силе?"_s, guid);
    writeForeignMessage(chat.env.chats(), 10, 2, 5, u"Алексей"_s, u"Да, в силе."_s,
                        chat.context.userId);
    chat.open();
    chat.window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"Алексей"_s);
    chat.window->findChild<QPlainTextEdit *>(u"txtMessage"_s)
        ->setPlainText(u"Захвачу с собой презентацию"_s);
    runUntil([&] { return chat.view()->toPlainText().contains(u"Да, в силе."_s); }, 20, 10000);
    chat.window->grab().save(path);
    std::printf("screenshot: %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int number = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    if (mode == "screenshot"_L1) {
        screenshot(argc > 2 ? QString::fromLocal8Bit(argv[2]) : u"chatwindow.png"_s);
        return 0;
    }
    if (mode.isEmpty() || mode == "batch"_L1)
        benchBatch(number > 0 ? number : 10000, false);
    if (mode.isEmpty() || mode == "batch-earlier"_L1)
        benchBatch(number > 0 ? number : 10000, true);
    if (mode.isEmpty() || mode == "pictures"_L1)
        benchPictures(number > 0 ? number : 200);
    if (mode.isEmpty() || mode == "earlier"_L1)
        benchEarlier();
    if (mode.isEmpty() || mode == "model"_L1)
        benchModel(number > 0 ? number : 50000);
    if (mode.isEmpty() || mode == "latency"_L1)
        benchLatency(number > 0 ? number : 40);
    if (mode.isEmpty() || mode == "send"_L1)
        benchSend(number > 0 ? number : 1000);
    if (mode.isEmpty() || mode == "idle"_L1)
        benchIdle(number > 0 ? number : 60);
    return 0;
}
