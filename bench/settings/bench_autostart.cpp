// Writing an autostart entry's text and reading the colour dialog's custom
// colour text from the store, including hostile oversized texts.
#include "gui/dialogs.h"
#include "settings/autostartentry.h"

#include <benchmark/benchmark.h>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

AutostartEntry entryWithPathOf(qsizetype length)
{
    QString chat = u"/srv/"_s;
    const QString piece = u"Чат \"$x\" `y` 100% \\ "_s;
    while (chat.size() < length)
        chat += piece;
    return {u"Беседа"_s, u"/usr/bin/quillet-im"_s, {u"/H"_s}, chat, u"/srv"_s, autostartIconName()};
}

void BM_DesktopEntryText(benchmark::State &state)
{
    const AutostartEntry entry = entryWithPathOf(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(desktopEntryText(entry));
    state.SetBytesProcessed(state.iterations() * state.range(0) * qsizetype(sizeof(QChar)));
}
BENCHMARK(BM_DesktopEntryText)->Arg(100)->Arg(4096);

void BM_ParseCustomColors(benchmark::State &state)
{
    QStringList parts;
    for (int i = 0; i < 16; ++i)
        parts.append(QString::number(i * 1048573 % 16777216));
    const QString text = parts.join(','_L1);
    for (auto _ : state)
        benchmark::DoNotOptimize(ColorDialog::parseCustomColors(text));
}
BENCHMARK(BM_ParseCustomColors);

// A 4 MiB text of commas or of one long number: only sixteen entries are read.
void BM_ParseHostileCustomColors(benchmark::State &state)
{
    const QString text(4 * 1024 * 1024, state.range(0) ? ','_L1 : '7'_L1);
    for (auto _ : state)
        benchmark::DoNotOptimize(ColorDialog::parseCustomColors(text));
}
BENCHMARK(BM_ParseHostileCustomColors)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
