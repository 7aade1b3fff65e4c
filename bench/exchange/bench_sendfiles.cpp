// Sending a 1 GB file: the send job (copy into the exchange folder, SHA-256 of
// the copy, durable) side by side with `cp` of the same file on the same disk,
// alternating in one run; and the longest pause of the event loop meanwhile.
//
// The files lie in /tmp and are deleted at the end.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "exchange/filesender.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 FileSize = 1000 * 1000 * 1000;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A 1 GB file of random bytes and an exchange folder beside it, for the whole run.
class SendFixture
{
public:
    SendFixture() : m_dir(u"/tmp/bench_sendfiles-XXXXXX"_s)
    {
        m_source = m_dir.filePath(u"source.bin"_s);
        m_exchange = m_dir.filePath(u"exchange"_s);
        QDir().mkpath(m_exchange);
        QFile file(m_source);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        std::mt19937_64 random(42);
        QByteArray chunk(8 * 1024 * 1024, Qt::Uninitialized);
        for (qint64 written = 0; written < FileSize; written += chunk.size()) {
            auto *words = reinterpret_cast<quint64 *>(chunk.data());
            for (qsizetype i = 0; i < chunk.size() / 8; ++i)
                words[i] = random();
            file.write(chunk.constData(), qMin<qint64>(chunk.size(), FileSize - written));
        }
        file.close();
        settle();
    }

    const QString &source() const { return m_source; }
    const QString &exchange() const { return m_exchange; }
    QString copyTarget() const { return m_dir.filePath(u"copy.bin"_s); }

    // Each round starts with nothing dirty in the page cache, and the source in
    // it unless `cold`: then the copy reads it from the disk, as a file not
    // opened for a while is. Dropping the cache needs root.
    bool settle(bool cold = false) const
    {
        QDir(m_exchange).removeRecursively();
        QDir().mkpath(m_exchange);
        QFile::remove(copyTarget());
        QProcess::execute(u"sync"_s, {});
        if (!cold)
            return true;
        QFile drop(u"/proc/sys/vm/drop_caches"_s);
        return drop.open(QIODevice::WriteOnly) && drop.write("1") == 1;
    }

private:
    QTemporaryDir m_dir;
    QString m_source;
    QString m_exchange;
};

// Processor time, user and system, of this process's threads or of its children.
double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double timeCp(const SendFixture &fixture, bool durable)
{
    const Clock::time_point start = Clock::now();
    if (QProcess::execute(u"cp"_s, {fixture.source(), fixture.copyTarget()}) != 0)
        std::abort();
    if (durable && QProcess::execute(u"sync"_s, {fixture.copyTarget()}) != 0)
        std::abort();
    return secondsSince(start);
}

// The job as the window runs it; `longestPauseMs` is the longest gap between
// ticks of a 1 ms timer on the event loop meanwhile.
double timeJob(const SendFixture &fixture, double &longestPauseMs)
{
    FileSendJob job({fixture.exchange(), u"Иван"_s, QString(), u"{BENCH}"_s, {fixture.source()}});
    QEventLoop loop;
    QTimer ticks;
    ticks.setInterval(1);
    Clock::time_point last = Clock::now();
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
        const Clock::time_point now = Clock::now();
        longestPauseMs =
            qMax(longestPauseMs, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    QObject::connect(&job, &FileSendJob::finished, &loop, &QEventLoop::quit);
    QObject::connect(&job, &FileSendJob::failed, &loop, [](const Error &) { std::abort(); });
    const Clock::time_point start = Clock::now();
    ticks.start();
    job.start();
    loop.exec();
    return secondsSince(start);
}

void BM_SendJobVsCp(benchmark::State &state)
{
    static const std::unique_ptr<SendFixture> fixture = std::make_unique<SendFixture>();
    const bool durableCp = state.range(0) == 1;
    const bool cold = state.range(0) == 2;
    if (!fixture->settle(cold)) {
        state.SkipWithError("dropping the page cache needs root");
        return;
    }
    double cpSeconds = 0;
    double jobSeconds = 0;
    double longestPauseMs = 0;
    double cpCpu = 0;
    double jobCpu = 0;
    for (auto _ : state) {
        double before = cpuSeconds(RUSAGE_CHILDREN);
        cpSeconds += timeCp(*fixture, durableCp);
        cpCpu += cpuSeconds(RUSAGE_CHILDREN) - before;
        fixture->settle(cold);
        before = cpuSeconds(RUSAGE_SELF);
        jobSeconds += timeJob(*fixture, longestPauseMs);
        jobCpu += cpuSeconds(RUSAGE_SELF) - before;
        fixture->settle(cold);
    }
    const double rounds = double(state.iterations());
    const double mb = double(FileSize) / 1e6;
    state.counters["cp_MBps"] = mb * rounds / cpSeconds;
    state.counters["job_MBps"] = mb * rounds / jobSeconds;
    state.counters["job_per_cp"] = cpSeconds / jobSeconds;
    state.counters["longest_pause_ms"] = longestPauseMs;
    state.counters["cp_cpu_s"] = cpCpu / rounds;
    state.counters["job_cpu_s"] = jobCpu / rounds;
}

} // namespace

// Arg 0: `cp` alone; arg 1: `cp` followed by `sync` of the copy, as durable as the job;
// arg 2: `cp` alone, each side reading the source from the disk.
BENCHMARK(BM_SendJobVsCp)->DenseRange(0, 2)->Iterations(5)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
