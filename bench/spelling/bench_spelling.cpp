// Measures spelling as the user meets it, with Debian's ru_RU and en_US:
// pasting a 4,000-word Russian text into the message box (the longest pause of
// the event loop until every word is checked), suggestions for misspelt
// Russian words, and what attaching spelling to the box adds to start-up.
// Run headless: QT_QPA_PLATFORM=offscreen bench_spelling [paste|suggest|startup], or
// "screenshot <file.png>" for a picture of the box with misspelt words.

#include "chatwindow/spellingmenu.h"
#include "spelling/markedwords.h"
#include "spelling/spellchecker.h"
#include "spelling/spellinghighlighter.h"
#include "testsupport.h"

#include <cstdio>

#include <nuspell/dictionary.hxx>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString RussianDic = u"/usr/share/hunspell/ru_RU.dic"_s;

// `count` words of the Russian dictionary, one in twenty misspelt by two
// letters swapped, in paragraphs of `perParagraph` words.
QString russianText(int count, int perParagraph)
{
    QFile dic(RussianDic);
    if (!dic.open(QIODevice::ReadOnly))
        qFatal("no %s", qPrintable(RussianDic));
    QStringList stems;
    for (const QByteArray &line : dic.readAll().split('\n')) {
        const QString stem = QString::fromUtf8(line).section(u'/', 0, 0);
        if (stem.size() >= 4 && stem[0].isLower() && stem[0].script() == QChar::Script_Cyrillic)
            stems.append(stem);
    }
    QString text;
    for (int i = 0; i < count; ++i) {
        QString word = stems.at(qsizetype(i) * 7919 % stems.size());
        if (i % 20 == 0)
            std::swap(word[1], word[2]);
        text += word;
        text += (i + 1) % perParagraph == 0 ? u'\n' : u' ';
    }
    return text;
}

// Runs the event loop until `done`, returning the longest gap between two
// turns of a 0-ms timer, in milliseconds, and the time it took.
template <class Done> std::pair<double, double> longestPause(Done done)
{
    QElapsedTimer clock, sinceTick;
    clock.start();
    sinceTick.start();
    double longest = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
        if (done() || clock.elapsed() > 60000)
            loop.quit();
    });
    tick.start();
    loop.exec();
    return {longest, clock.nsecsElapsed() / 1e6};
}

// The resident memory of the process, in MiB.
double residentMiB()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toDouble() * 4096 / (1024 * 1024);
}

void waitForDictionaries(SpellChecker &checker)
{
    checker.load();
    longestPause([&] { return checker.isLoaded(); });
}

void paste(int perParagraph, bool spelling)
{
    SpellChecker checker;
    waitForDictionaries(checker);
    QPlainTextEdit box;
    box.resize(600, 200);
    box.show();
    MessageSpelling *attached = spelling ? new MessageSpelling(&box, checker) : nullptr;
    const QString text = russianText(4000, perParagraph);
    bool pasted = false;
    QTimer::singleShot(0, &box, [&] {
        box.insertPlainText(text);
        pasted = true;
    });
    const auto [longest, total] = longestPause(
        [&] { return pasted && (!attached || !attached->highlighter()->isChecking()); });
    std::printf("paste 4000 words, %4d words/paragraph, %-8s longest pause %6.1f ms, "
                "done after %7.1f ms, %lld words marked\n",
                perParagraph, spelling ? "spelling" : "plain", longest, total,
                qlonglong(markedWords(*box.document()).size()));
}

void suggest()
{
    const QStringList words = {u"превет"_s,  u"малако"_s,      u"саабщение"_s,
                               u"каррова"_s, u"неправельно"_s, u"программированиее"_s};
    SpellChecker checker;
    waitForDictionaries(checker);
    nuspell::Dictionary russian;
    russian.load_aff_dic("/usr/share/hunspell/ru_RU.aff");
    for (const QString &word : words) {
        QElapsedTimer clock;
        clock.start();
        const QStringList first = checker.suggestions(word);
        const double firstMs = clock.nsecsElapsed() / 1e6;
        // The search begun by the first call finishes on its worker meanwhile.
        longestPause([&] { return clock.elapsed() > 400; });
        clock.restart();
        const QStringList later = checker.suggestions(word);
        const double laterMs = clock.nsecsElapsed() / 1e6;
        clock.restart();
        std::vector<std::string> raw;
        russian.suggest(word.toStdString(), raw);
        const double rawMs = clock.nsecsElapsed() / 1e6;
        std::printf("%-18s first %5.1f ms [%s]; prepared %5.2f ms [%s]; nuspell alone %5.1f ms\n",
                    qPrintable(word), firstMs, qPrintable(first.join(u", ")), laterMs,
                    qPrintable(later.join(u", ")), rawMs);
    }
}

// The box's first text and the event loop afterwards, with spelling or without.
void startup(bool spelling)
{
    QPlainTextEdit box;
    box.show();
    const double residentBefore = residentMiB();
    QElapsedTimer clock;
    clock.start();
    SpellChecker checker;
    auto *attached = spelling ? new MessageSpelling(&box, checker) : nullptr;
    const double attachMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    box.insertPlainText(u"Первое слово"_s); // with spelling, the first text starts the loading
    const double firstTextMs = clock.nsecsElapsed() / 1e6;
    clock.restart();
    const auto [longest, total] = longestPause([&] {
        return spelling ? checker.isLoaded() && !attached->highlighter()->isChecking()
                        : clock.elapsed() > 400;
    });
    std::printf("%-8s construct checker + attach %.2f ms; first text %.2f ms; then %.0f ms "
                "(dictionaries %s loaded off the loop), longest pause %.1f ms, memory +%.0f MiB\n",
                spelling ? "spelling" : "plain", attachMs, firstTextMs, total,
                qPrintable(checker.dictionaryNames().join(u'+')), longest,
                residentMiB() - residentBefore);
}

// A picture of the box with misspelt words and its spelling menu's entries.
void screenshot(const QString &file)
{
    SpellChecker checker;
    QPlainTextEdit box;
    box.resize(420, 80);
    auto *attached = new MessageSpelling(&box, checker);
    box.show();
    box.setPlainText(u"Превет, как дила? Hello wrold, see https://exmple.org"_s);
    waitForDictionaries(checker);
    longestPause([&] { return !attached->highlighter()->isChecking(); });
    box.grab().save(file);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestEnvironment env;
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode.isEmpty() || mode == "startup"_L1) {
        startup(false);
        startup(true);
    }
    if (mode.isEmpty() || mode == "paste"_L1) {
        for (int perParagraph : {1, 100, 4000}) {
            paste(perParagraph, false);
            paste(perParagraph, true);
        }
    }
    if (mode.isEmpty() || mode == "suggest"_L1)
        suggest();
    if (mode == "screenshot"_L1 && argc > 2)
        screenshot(QString::fromLocal8Bit(argv[2]));
    return 0;
}
