// Listing, relisting and reading an exchange folder.
//
// The reference is the bare loop any listing needs: readdir over the folder
// and lgetxattr on every entry. The first listing is measured side by side
// with it over the same 100,000 shown message files; later listings after one
// change must not depend on the folder's size; reading and parsing message
// files is compared with reading their bytes.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/support.h"
#include "core/textfile.h"
#include "exchange/folderwatcher.h"
#include "exchange/messagefile.h"
#include "exchange/messagefolder.h"
#include "platform/fileattributes.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString MyGuid = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;

QByteArray messageBytes(int i, const MessageTime &utc)
{
    return TextFile::encode(
        buildMessageContent(utc, u"Участник %1"_s.arg(i % 7),
                            u"Сообщение номер %1.\r\nВторая строка с текстом."_s.arg(i), MyGuid));
}

// A folder of `count` message files, shown (hidden mark) or not, kept for the run.
class MessageFolderFixture
{
public:
    MessageFolderFixture(int count, bool shown)
    {
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_dir.filePath(u"state"_s)));
        m_folder = m_dir.filePath(u"chat"_s);
        QDir().mkpath(m_folder);
        MessageTime utc = Clock::utcMessageTime();
        for (int i = 0; i < count; ++i) {
            utc.millisecond = quint16(i % 1000);
            const QString path = joinPath(m_folder, messageFileName(utc, newGuid()));
            m_paths.append(path);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                std::abort();
            file.write(messageBytes(i, utc));
            file.close();
            if (shown && setDosAttributes(path, DosAttribute::Hidden) != 0)
                std::abort();
        }
    }

    QString folder() const { return m_folder; }
    const QStringList &paths() const { return m_paths; }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    QStringList m_paths;
};

MessageFolderFixture &fixture(int count, bool shown)
{
    static std::map<std::pair<int, bool>, std::unique_ptr<MessageFolderFixture>> fixtures;
    auto &slot = fixtures[{count, shown}];
    if (!slot)
        slot = std::make_unique<MessageFolderFixture>(count, shown);
    return *slot;
}

// readdir + lgetxattr on every entry: what any listing costs at least.
int bareLoop(const QByteArray &folder)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        std::abort();
    QByteArray path = folder + '/';
    const qsizetype base = path.size();
    int hidden = 0;
    char value[64];
    while (const dirent *entry = ::readdir(dir)) {
        path.truncate(base);
        path.append(entry->d_name);
        const ssize_t length = ::lgetxattr(path.constData(), "user.DOSATTRIB", value, sizeof value);
        if (length == 3 && value[2] == '2')
            ++hidden;
    }
    ::closedir(dir);
    return hidden;
}

// Wall time and this thread's processor time, in milliseconds; the machine
// may be shared, so both are reported.
struct Stopwatch
{
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    timespec cpu = threadCpuNow();

    static timespec threadCpuNow()
    {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now;
    }
    double wallMs() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall)
            .count();
    }
    double cpuMs() const
    {
        const timespec now = threadCpuNow();
        return double(now.tv_sec - cpu.tv_sec) * 1e3 + double(now.tv_nsec - cpu.tv_nsec) / 1e6;
    }
};

void BM_BareReaddirXattrLoop(benchmark::State &state)
{
    const QByteArray folder = QFile::encodeName(fixture(int(state.range(0)), true).folder());
    for (auto _ : state)
        benchmark::DoNotOptimize(bareLoop(folder));
}

void BM_FirstListing(benchmark::State &state)
{
    const QString folder = fixture(int(state.range(0)), true).folder();
    for (auto _ : state) {
        MessageFolder messages(folder);
        benchmark::DoNotOptimize(messages.listUnseen(nullptr));
    }
}

// Both loops alternate over the same folder, so cache and disk state are alike.
void BM_FirstListingVsBareLoop(benchmark::State &state)
{
    const QString folder = fixture(int(state.range(0)), true).folder();
    const QByteArray encoded = QFile::encodeName(folder);
    double bareMs = 0, bareCpuMs = 0, listingMs = 0, listingCpuMs = 0;
    const auto bare = [&] {
        const Stopwatch watch;
        benchmark::DoNotOptimize(bareLoop(encoded));
        bareMs += watch.wallMs();
        bareCpuMs += watch.cpuMs();
    };
    const auto listing = [&] {
        const Stopwatch watch;
        MessageFolder messages(folder);
        const QStringList unseen = messages.listUnseen(nullptr);
        listingMs += watch.wallMs();
        listingCpuMs += watch.cpuMs();
        if (!unseen.isEmpty())
            std::abort();
    };
    bool bareFirst = true;
    for (auto _ : state) {
        if (bareFirst) {
            bare();
            listing();
        } else {
            listing();
            bare();
        }
        bareFirst = !bareFirst;
    }
    const double n = double(state.iterations());
    state.counters["bare_ms"] = bareMs / n;
    state.counters["listing_ms"] = listingMs / n;
    state.counters["ratio"] = listingMs / bareMs;
    state.counters["bare_cpu_ms"] = bareCpuMs / n;
    state.counters["listing_cpu_ms"] = listingCpuMs / n;
    state.counters["cpu_ratio"] = listingCpuMs / bareCpuMs;
}

// The chat window's later ticks: one change, a poll, a listing. The change
// is either a new message file or a shown one made visible again by hand.
void laterListing(benchmark::State &state, bool newFile)
{
    MessageFolderFixture &data = fixture(int(state.range(0)), true);
    const QString folder = data.folder();
    FolderWatcher watcher;
    if (!watcher.start(folder))
        std::abort();
    MessageFolder messages(folder);
    messages.listUnseen(&watcher);
    int serial = 0;
    const MessageTime utc = Clock::utcMessageTime();
    for (auto _ : state) {
        state.PauseTiming();
        QString path;
        if (newFile) {
            path = joinPath(folder, messageFileName(utc, newGuid()));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                std::abort();
            file.write(messageBytes(serial, utc));
        } else {
            path = data.paths().at(serial % data.paths().size());
            if (clearDosAttributes(path) != 0)
                std::abort();
        }
        ++serial;
        state.ResumeTiming();

        if (!watcher.hasChanged())
            std::abort();
        const QStringList batch = messages.listUnseen(&watcher);

        state.PauseTiming();
        if (batch != QStringList{path} || !messages.markShown(path).ok())
            std::abort();
        // The false alarm of the mark, so the next change starts clean.
        if (!watcher.hasChanged() || !messages.listUnseen(&watcher).isEmpty())
            std::abort();
        state.ResumeTiming();
    }
    state.counters["full_listings"] = messages.fullListings();
}

void BM_LaterListingAfterNewFile(benchmark::State &state)
{
    laterListing(state, true);
}

void BM_LaterListingAfterUnhiddenByHand(benchmark::State &state)
{
    laterListing(state, false);
}

// The change a batch itself makes: marking shown, then the false alarm.
void BM_FalseAlarmAfterMarkShown(benchmark::State &state)
{
    MessageFolderFixture &data = fixture(int(state.range(0)), true);
    FolderWatcher watcher;
    if (!watcher.start(data.folder()))
        std::abort();
    MessageFolder messages(data.folder());
    messages.listUnseen(&watcher);
    int serial = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString path = data.paths().at(serial++ % data.paths().size());
        if (clearDosAttributes(path) != 0 || !watcher.hasChanged() ||
            messages.listUnseen(&watcher).size() != 1 || !messages.markShown(path).ok())
            std::abort();
        state.ResumeTiming();

        if (!watcher.hasChanged())
            std::abort();
        benchmark::DoNotOptimize(messages.listUnseen(&watcher));
    }
    state.counters["full_listings"] = messages.fullListings();
}

// The bytes of each file: open, read, close.
qint64 readBytes(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        std::abort();
    char buffer[16384];
    qint64 total = 0;
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        total += n;
    ::close(fd);
    return total;
}

void BM_ReadBytesOf10000Files(benchmark::State &state)
{
    const MessageFolderFixture &data = fixture(10000, false);
    QList<QByteArray> paths;
    for (const QString &path : data.paths())
        paths.append(QFile::encodeName(path));
    for (auto _ : state) {
        qint64 total = 0;
        for (const QByteArray &path : paths)
            total += readBytes(path);
        benchmark::DoNotOptimize(total);
    }
}

void BM_ReadAndParse10000Files(benchmark::State &state)
{
    const MessageFolderFixture &data = fixture(10000, false);
    for (auto _ : state) {
        int own = 0;
        for (const QString &path : data.paths()) {
            const Result<ReceivedMessage> message = readMessageFile(path, MyGuid);
            if (!message.ok())
                std::abort();
            own += message.value().kind == MessageKind::Own;
        }
        benchmark::DoNotOptimize(own);
    }
}

void BM_ReadVsParse10000Files(benchmark::State &state)
{
    const MessageFolderFixture &data = fixture(10000, false);
    QList<QByteArray> paths;
    for (const QString &path : data.paths())
        paths.append(QFile::encodeName(path));
    double bytesMs = 0, bytesCpuMs = 0, parseMs = 0, parseCpuMs = 0;
    for (auto _ : state) {
        Stopwatch watch;
        qint64 total = 0;
        for (const QByteArray &path : paths)
            total += readBytes(path);
        benchmark::DoNotOptimize(total);
        bytesMs += watch.wallMs();
        bytesCpuMs += watch.cpuMs();
        watch = Stopwatch();
        for (const QString &path : data.paths())
            benchmark::DoNotOptimize(readMessageFile(path, MyGuid).ok());
        parseMs += watch.wallMs();
        parseCpuMs += watch.cpuMs();
    }
    const double n = double(state.iterations());
    state.counters["bytes_ms"] = bytesMs / n;
    state.counters["parse_ms"] = parseMs / n;
    state.counters["ratio"] = parseMs / bytesMs;
    state.counters["bytes_cpu_ms"] = bytesCpuMs / n;
    state.counters["parse_cpu_ms"] = parseCpuMs / n;
    state.counters["cpu_ratio"] = parseCpuMs / bytesCpuMs;
}

} // namespace

BENCHMARK(BM_BareReaddirXattrLoop)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstListing)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstListingVsBareLoop)->Arg(100000)->Iterations(6)->Unit(benchmark::kMillisecond);
// Each iteration also makes and marks a file outside the timing: keep them few.
BENCHMARK(BM_LaterListingAfterNewFile)
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LaterListingAfterUnhiddenByHand)
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FalseAlarmAfterMarkShown)
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadBytesOf10000Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndParse10000Files)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadVsParse10000Files)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
