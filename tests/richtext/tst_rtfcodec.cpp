#include "documentruns.h"
#include "richtext/rtfreader.h"
#include "richtext/rtfwriter.h"
#include "testsupport.h"

#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

Qt::Alignment horizontal(const QTextBlock &block)
{
    const Qt::Alignment a = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
    return a == Qt::AlignLeading ? Qt::AlignLeft : a;
}

// The runs of a document; neighbours with equal attributes are joined, as the
// same text may be split differently by different writers.
QList<Run> runsOf(const QTextDocument &document)
{
    QList<Run> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            Run run{block.blockNumber(),
                    it.fragment().text(),
                    format.fontPointSize(),
                    format.fontWeight() > QFont::Medium,
                    format.foreground().style() == Qt::NoBrush ? 0u
                                                               : format.foreground().color().rgb(),
                    horizontal(block)};
            Run *last = runs.isEmpty() ? nullptr : &runs.last();
            if (last && last->block == run.block && last->points == run.points &&
                last->bold == run.bold && last->colour == run.colour)
                last->text += run.text;
            else
                runs.append(run);
        }
    }
    return runs;
}

QRgb rgb(int r, int g, int b)
{
    return qRgb(r, g, b);
}

void append(QTextCursor &cursor, const QString &text, qreal points, bool bold, QRgb colour,
            Qt::Alignment alignment = Qt::AlignLeft)
{
    QTextBlockFormat block = cursor.blockFormat();
    block.setAlignment(alignment);
    cursor.setBlockFormat(block);
    QTextCharFormat format;
    format.setFontPointSize(points);
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    format.setForeground(QColor::fromRgb(colour));
    cursor.insertText(text, format);
}

QByteArray fixture(const char *name)
{
    QFile file(TestEnvironment::sourceDir() + u"/tests/data/rtf/"_s + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return file.readAll();
}

// The control words of RTF text and whether its groups close exactly at its end.
struct Structure
{
    QStringList words;
    bool balanced = true;
};

Structure structureOf(const QByteArray &rtf)
{
    Structure result;
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf.at(i);
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth == 0 && i != rtf.size() - 1)
                result.balanced = false;
        } else if (c == '\\' && i + 1 < rtf.size()) {
            qsizetype end = i + 1;
            while (end < rtf.size() && isalpha(static_cast<unsigned char>(rtf.at(end))))
                ++end;
            if (end == i + 1)
                ++i; // a control symbol such as \{ or \\ stands for itself
            else
                result.words.append(QString::fromLatin1(rtf.mid(i + 1, end - i - 1)));
            i = qMax(i, end - 1);
        }
    }
    if (depth != 0)
        result.balanced = false;
    return result;
}

} // namespace

class TestRtfCodec : public QObject
{
    Q_OBJECT

private slots:
    void writerCannotBeInjected_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("closing group") << u"}{\\rtf1\\par}"_s;
        QTest::newRow("field") << u"\\field{\\*\\fldinst HYPERLINK x}"_s;
        QTest::newRow("lone backslash at end") << u"a\\"_s;
        QTest::newRow("braces") << u"{{{}}}}}"_s;
        QTest::newRow("hex escape") << u"\\'cf\\'f0"_s;
        QTest::newRow("unicode escape") << u"\\u1043?\\uc0"_s;
        QTest::newRow("binary") << u"\\bin5 }}}}}"_s;
        QTest::newRow("cyrillic and emoji") << u"Привет 👋 «ёлка» — 𝄞"_s;
        QTest::newRow("controls and tab")
            << u"a\tb"_s + QChar(1) + QChar(0x7F) + QChar(0xA0) + QChar(0xFFFD);
    }

    void writerCannotBeInjected()
    {
        QFETCH(QString, text);
        QTextDocument document;
        QTextCursor cursor(&document);
        append(cursor, text, 9, false, rgb(0, 0, 0));
        const QByteArray rtf = writeRtf(document);

        const Structure structure = structureOf(rtf);
        QVERIFY2(structure.balanced, rtf.constData());
        const QStringList allowed{
            u"rtf"_s,      u"ansi"_s,     u"ansicpg"_s,  u"deff"_s, u"fonttbl"_s, u"f"_s,
            u"fnil"_s,     u"fcharset"_s, u"colortbl"_s, u"red"_s,  u"green"_s,   u"blue"_s,
            u"viewkind"_s, u"uc"_s,       u"pard"_s,     u"ql"_s,   u"plain"_s,   u"fs"_s,
            u"cf"_s,       u"u"_s,        u"tab"_s};
        for (const QString &word : structure.words)
            QVERIFY2(allowed.contains(word), qPrintable(word));
        for (const char byte : rtf)
            QVERIFY(byte >= 0x20 || byte == '\r' || byte == '\n');

        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        QCOMPARE(read.blockCount(), 1);
        QCOMPARE(read.begin().text(), text);
    }

    void writtenRunsReadBackIntact()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        const QList<qreal> sizes{3, 8, 9, 7.5, 12, 72};
        const QList<QRgb> colours{rgb(0, 0, 0),   rgb(0, 128, 0),     rgb(128, 0, 255),
                                  rgb(255, 0, 0), rgb(128, 128, 128), rgb(1, 2, 3)};
        QList<Run> expected;
        int block = 0;
        for (int i = 0; i < 24; ++i) {
            const qreal points = sizes.at(i % sizes.size());
            const bool bold = i % 3 == 0;
            const QRgb colour = colours.at(i % colours.size());
            const Qt::Alignment alignment = block % 3 == 1 ? Qt::AlignHCenter : Qt::AlignLeft;
            const QString text = u"run %1 ж"_s.arg(i);
            append(cursor, text, points, bold, colour, alignment);
            expected.append({block, text, points, bold, colour, alignment});
            if (i % 2 == 1) {
                cursor.insertText(u"\r\n"_s);
                ++block;
            }
        }
        for (const Qt::Alignment alignment : {Qt::AlignRight, Qt::AlignJustify}) {
            append(cursor, u"x"_s, 9, false, rgb(0, 0, 0), alignment);
            expected.append({block++, u"x"_s, 9, false, rgb(0, 0, 0), alignment});
            cursor.insertBlock();
        }

        const QByteArray rtf = writeRtf(document);
        QCOMPARE(structureOf(rtf).words.count(u"par"_s), document.blockCount() - 1);
        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        QCOMPARE(read.blockCount(), document.blockCount());
        QCOMPARE(runsOf(read), expected);
        // Read back and written again, nothing changes.
        read.setDefaultFont(document.defaultFont());
        QCOMPARE(runsOf(read), runsOf(document));
    }

    void readsOtherWriters_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QList<Run>>("expected");
        const QRgb grey = rgb(128, 128, 128);
        const QRgb green = rgb(0, 128, 0);
        const QRgb violet = rgb(128, 0, 255);
        const QRgb black = rgb(0, 0, 0);
        QTest::newRow("word processor")
            << fixture("word-processor-unicode.rtf")
            << QList<Run>{
                   {0, u"12:10:00"_s, 8, false, grey, Qt::AlignHCenter},
                   {1, u"Гость (12:03:44 - 05.12.2026)"_s, 8, true, green},
                   {2, u"Привет! Как дела? — «ёлка» & {скобки} \\ обратная косая"_s, 9, false,
                    black},
                   {3, u"(12:04:01 - 05.12.2026) Bob: "_s, 8, true, violet},
                   {3, u"Hello 👋 world"_s, 9, false, black},
               };
        QTest::newRow("rich edit cp1251")
            << fixture("richedit-cp1251.rtf")
            << QList<Run>{
                   {0, u"Гость  (12:03:44 - 05.12.2026)"_s, 8, true, green},
                   {1, u"Привет! Как дела?"_s, 9, false, black},
                   {2, u" "_s, 3, false, 0},
                   {3, u"12:10:00"_s, 8, false, grey, Qt::AlignHCenter},
                   {4, u" "_s, 3, false, 0},
                   {5, u"(12:11:02 - 05.12.2026) Bob:  "_s, 8, true, violet},
                   {5, u"ёлка {x} \\ y"_s, 9, false, black},
                   {6, u"Quillet"_s, 8, true, rgb(255, 0, 0)},
                   {6, u" — dash"_s, 9, false, black},
               };
    }

    void readsOtherWriters()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QList<Run>, expected);
        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        QCOMPARE(runsOf(read), expected);
        QCOMPARE(read.lastBlock().text(), QString()); // after the last \par
        QCOMPARE(read.blockCount(), expected.last().block + 2);
    }

    void readsText_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::newRow("cp1251 bytes")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2 \\'b8}")
            << u"Привет ё"_s;
        QTest::newRow("raw cp1251 bytes")
            << QByteArray("{\\rtf1\\ansicpg1251 \xcf\xf0\xe8}") << u"При"_s;
        QTest::newRow("font charset over code page")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 "
                          "Tahoma;}}\\f0 \\'e9\\f1 \\'e9}")
            << u"éй"_s;
        QTest::newRow("cp1252 default") << QByteArray("{\\rtf1 caf\\'e9 \\'80}") << u"café €"_s;
        QTest::newRow("uc2 skips two") << QByteArray("{\\rtf1\\uc2\\u1046\\'3f\\'3fa}") << u"Жa"_s;
        QTest::newRow("uc0 skips none") << QByteArray("{\\rtf1\\uc0\\u1046 a}") << u"Жa"_s;
        QTest::newRow("uc in group restored")
            << QByteArray("{\\rtf1{\\uc0\\u1046}\\u1046?a}") << u"ЖЖa"_s;
        QTest::newRow("negative unicode")
            << QByteArray("{\\rtf1\\u-4064?}") << QString(QChar(0xF020));
        QTest::newRow("surrogate pair") << QByteArray("{\\rtf1\\u-10179?\\u-9141?}") << u"👋"_s;
        QTest::newRow("lone surrogate")
            << QByteArray("{\\rtf1\\u-10179?x\\u-8701?}") << u"\uFFFDx\uFFFD"_s;
        QTest::newRow("ignorable destination")
            << QByteArray("{\\rtf1 a{\\*\\unknown b{c}d}e}") << u"ae"_s;
        QTest::newRow("known destinations")
            << QByteArray("{\\rtf1{\\info{\\title t}}{\\stylesheet{\\s0 Normal;}}"
                          "{\\pict\\bin4 }}}}x}y}")
            << u"y"_s;
        QTest::newRow("stray ignorable mark") << QByteArray("{\\rtf1 \\*x\\b y}") << u"xy"_s;
        QTest::newRow("binary skipped") << QByteArray("{\\rtf1 a\\bin3 {}\\b}") << u"ab"_s;
        QTest::newRow("field result shown")
            << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}")
            << u"link"_s;
        QTest::newRow("symbols") << QByteArray("{\\rtf1 a\\~b\\-c\\_d\\{\\}\\\\\\tab e\\line f}")
                                 << u"a\u00A0bc\u2011d{}\\\te\u2028f"_s;
        QTest::newRow("line ends ignored") << QByteArray("{\\rtf1 a\r\nb\nc\r}") << u"abc"_s;
        QTest::newRow("paragraphs") << QByteArray("{\\rtf1 a\\par b\\par}") << u"a\nb\n"_s;
        QTest::newRow("byte order mark and blanks")
            << QByteArray("\xEF\xBB\xBF \r\n{\\rtf1 a}") << u"a"_s;
        QTest::newRow("missing final brace") << QByteArray("{\\rtf1 abc\\par de") << u"abc\nde"_s;
        QTest::newRow("truncated escape") << QByteArray("{\\rtf1 ab\\'c") << u"ab"_s;
        QTest::newRow("truncated word") << QByteArray("{\\rtf1 ab\\") << u"ab"_s;
        QTest::newRow("text after the document")
            << QByteArray("{\\rtf1 ab}cd{\\rtf1 ef}", 23) << u"ab"_s;
        QTest::newRow("huge parameters")
            << QByteArray("{\\rtf1\\fs99999999999999999\\u99999999999\\uc-5\\cf-3 a\\bin-7 b}")
            << u"\uFFFDab"_s;
        QTest::newRow("huge binary length") << QByteArray("{\\rtf1 a\\bin2147483647 bcd") << u"a"_s;
        QTest::newRow("overlong word")
            << QByteArray("{\\rtf1 a\\") + QByteArray(100, 'x') + QByteArray(" b}") << u"ab"_s;
    }

    void readsText()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        QStringList blocks;
        for (QTextBlock block = read.begin(); block.isValid(); block = block.next())
            blocks.append(block.text());
        QCOMPARE(blocks.join('\n'_L1), text);
    }

    // A crafted size never reaches the layout beyond what the writer would keep:
    // what is read is written and read back unchanged.
    void fontSizesStayWithinWhatTheWriterKeeps_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("beyond 16 bits") << QByteArray("{\\rtf1\\fs70000 a}");
        QTest::newRow("near the int limit") << QByteArray("{\\rtf1\\fs2147483646 a}");
        QTest::newRow("overflowing") << QByteArray("{\\rtf1\\fs99999999999999999 a}");
        QTest::newRow("zero") << QByteArray("{\\rtf1\\fs0 a}");
        QTest::newRow("negative") << QByteArray("{\\rtf1\\fs-8 a}");
    }
    void fontSizesStayWithinWhatTheWriterKeeps()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        const QList<Run> first = runsOf(read);
        QCOMPARE(first.size(), 1);
        QVERIFY(first[0].points > 0);
        QTextDocument again;
        QVERIFY(readRtf(writeRtf(read), &again).ok());
        QCOMPARE(runsOf(again).value(0).points, first[0].points);
    }

    void refusesWhatIsNotRtf_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<int>("error");
        QTest::newRow("empty") << QByteArray() << int(ErrorCode::RtfMalformed);
        QTest::newRow("plain text") << QByteArray("Hello") << int(ErrorCode::RtfMalformed);
        QTest::newRow("html") << QByteArray("<html>{\\rtf1}") << int(ErrorCode::RtfMalformed);
        QTest::newRow("binary") << QByteArray("\x00\xff{\\rtf1 a}", 10)
                                << int(ErrorCode::RtfMalformed);
        QTest::newRow("deep nesting")
            << QByteArray("{\\rtf1 a") + QByteArray(100000, '{') << int(ErrorCode::RtfTooDeep);
    }

    void refusesWhatIsNotRtf()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(int, error);
        QTextDocument read;
        read.setPlainText(u"old"_s);
        const Status status = readRtf(rtf, &read);
        QVERIFY(!status.ok());
        QCOMPARE(status.error().number, error);
        QVERIFY(!status.error().description.isEmpty());
        QVERIFY(read.isEmpty());
    }

    void readsModerateNesting()
    {
        const QByteArray rtf =
            QByteArray("{\\rtf1 ") + QByteArray(200, '{') + "x" + QByteArray(200, '}') + "}";
        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        QCOMPARE(read.toPlainText(), u"x"_s);
    }

    // Whatever is done to the document, the incremental writer's parts add up to
    // what a full write gives.
    void incrementalWriterMatchesFullWrite()
    {
        QTextDocument document;
        RtfIncrementalWriter writer(&document);
        QTextCursor cursor(&document);
        const auto check = [&] {
            writer.update();
            const QByteArray full = writeRtf(document);
            const QByteArray parts = writer.rtf();
            qsizetype i = 0;
            while (i < full.size() && i < parts.size() && full.at(i) == parts.at(i))
                ++i;
            QVERIFY2(parts == full,
                     (parts.mid(i - 40, 80) + " <> " + full.mid(i - 40, 80)).constData());
        };
        check();
        for (int i = 0; i < 50; ++i) {
            append(cursor, u"name %1: "_s.arg(i), 8, true, rgb(0, 128, 0));
            append(cursor, u"body\r\n"_s, 9, false, rgb(0, 0, 0));
            if (i % 7 == 0)
                check();
        }
        check();
        const qsizetype stable = writer.body().size();
        writer.markStable();

        append(cursor, u"new colour\r\n"_s, 9, false, rgb(1, 2, 3));
        check();
        QCOMPARE(writer.stableBodyLength(), stable);

        // An edit in the middle: everything from that paragraph on is written again.
        QTextCursor middle(document.findBlockByNumber(10));
        middle.insertText(u"inserted"_s);
        check();
        QVERIFY(writer.stableBodyLength() < stable);

        QTextCursor format(document.findBlockByNumber(3));
        format.select(QTextCursor::BlockUnderCursor);
        QTextCharFormat red;
        red.setForeground(QColor(255, 0, 0));
        format.mergeCharFormat(red);
        check();

        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        QTextCursor(document.findBlockByNumber(5)).mergeBlockFormat(centred);
        check();

        QTextCursor remove(document.findBlockByNumber(2));
        remove.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 30);
        remove.removeSelectedText();
        check();

        QFont font(u"Serif"_s);
        font.setPointSizeF(11);
        document.setDefaultFont(font);
        QTextCursor(&document).insertText(u"no size of its own"_s);
        check();

        document.clear();
        check();
    }
};

// A full QGuiApplication: the incremental writer lays its document out.
QTEST_MAIN(TestRtfCodec)
#include "tst_rtfcodec.moc"
