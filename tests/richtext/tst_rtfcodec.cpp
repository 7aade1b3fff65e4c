#include "documentruns.h"
#include "richtext/rtfreader.h"
#include "richtext/rtftextscanner.h"
#include "richtext/rtfwriter.h"
#include "testsupport.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

void append(QTextCursor &cursor, const Run &run)
{
    QTextBlockFormat block = cursor.blockFormat();
    block.setAlignment(run.alignment);
    cursor.setBlockFormat(block);
    QTextCharFormat format;
    format.setFontPointSize(run.points);
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setForeground(QColor::fromRgb(run.colour));
    cursor.insertText(run.text, format);
}

// What the reader makes of the bytes, and what the scanner makes: "error N: text".
QString readFully(const QByteArray &rtf)
{
    QTextDocument document;
    const Status status = readRtf(rtf, &document);
    return u"error %1: %2"_s.arg(status ? 0 : status.error().number).arg(document.toPlainText());
}

QString scan(const QByteArray &rtf)
{
    const Result<QString> text = RtfTextScanner::plainText(rtf);
    return u"error %1: %2"_s.arg(text ? 0 : text.error().number)
        .arg(text ? text.value() : QString());
}

} // namespace

class TestRtfCodec : public QObject
{
    Q_OBJECT

private slots:
    // Sizes, bold, colours, alignment and any text survive a write and a read (no
    // text adds control words or groups of its own), and a second write gives the
    // same bytes.
    void documents()
    {
        const QStringList texts{u"}{\\rtf1\\par} \\'cf \\u1043? \\bin5 }}} a\\"_s,
                                u"Привет 👋 «ёлка» — 𝄞 \u00A0\uFFFD"_s, u"a\tb\u2028c\u0001\u007F"_s,
                                u"plain"_s};
        const QList<qreal> sizes{3, 8, 9, 7.5, 12, 72};
        const QList<QRgb> colours{qRgb(0, 0, 0), qRgb(0, 128, 0), qRgb(128, 0, 255),
                                  qRgb(255, 0, 0), qRgb(1, 2, 3)};
        const QList<Qt::Alignment> alignments{Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight,
                                              Qt::AlignJustify};
        QTextDocument document;
        QTextCursor cursor(&document);
        QList<Run> expected;
        for (int i = 0; i < 24; ++i) {
            expected.append({i / 2, texts.at(i % texts.size()), sizes.at(i % sizes.size()),
                             i % 3 == 0, colours.at(i % colours.size()), alignments.at(i / 2 % 4)});
            append(cursor, expected.last());
            if (i % 2 == 1)
                cursor.insertText(u"\r\n"_s);
        }
        const QByteArray rtf = writeRtf(document);
        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        QCOMPARE(read.blockCount(), document.blockCount());
        QCOMPARE(runsOf(read), expected);
        read.setDefaultFont(document.defaultFont());
        QCOMPARE(writeRtf(read), rtf);

        // The scanner gives exactly the reader's text (or its error), so that a place the
        // search finds in a log selects the same text in the viewer: on word processors'
        // files and the fuzzing seeds, hostile ones included (the fuzz target checks the same).
        for (const QString &folder : {u"/tests/data/rtf"_s, u"/fuzz/corpus/rtf"_s}) {
            const QDir dir(TestEnvironment::sourceDir() + folder);
            QVERIFY(!dir.isEmpty());
            for (const QString &name : dir.entryList(QDir::Files)) {
                const QByteArray rtf = fileBytes(dir.filePath(name));
                QVERIFY2(scan(rtf) == readFully(rtf), qPrintable(name));
            }
        }

        // Another writer's log in its code page, with its colours, sizes and
        // alignment; sizes no writer could write back are clamped, or the default.
        const QRgb green = qRgb(0, 128, 0), black = qRgb(0, 0, 0);
        QTextDocument sampled;
        const QString sample =
            TestEnvironment::sourceDir() + u"/tests/data/rtf/richedit-cp1251.rtf"_s;
        QVERIFY(readRtf(fileBytes(sample), &sampled).ok());
        QCOMPARE(runsOf(sampled),
                 (QList<Run>{{0, u"Гость  (12:03:44 - 05.12.2026)"_s, 8, true, green},
                             {1, u"Привет! Как дела?"_s, 9, false, black},
                             {2, u" "_s, 3, false, 0},
                             {3, u"12:10:00"_s, 8, false, qRgb(128, 128, 128), Qt::AlignHCenter},
                             {4, u" "_s, 3, false, 0},
                             {5, u"(12:11:02 - 05.12.2026) Bob:  "_s, 8, true, qRgb(128, 0, 255)},
                             {5, u"ёлка {x} \\ y"_s, 9, false, black},
                             {6, u"Quillet"_s, 8, true, qRgb(255, 0, 0)},
                             {6, u" — dash"_s, 9, false, black}}));
        QCOMPARE(sampled.blockCount(), 8);
        QVERIFY(readRtf("{\\rtf1\\fs70000 a\\fs0 b\\fs-8 c}", &sampled).ok());
        QCOMPARE(runsOf(sampled),
                 (QList<Run>{{0, u"a"_s, 16383.5, false, 0}, {0, u"bc"_s, 12, false, 0}}));
    }

    // The text, or the error, of every kind of input, from the reader and the scanner.
    void readsText_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text"); // "error N: plain text"
        QTest::newRow("cp1251 escaped and raw")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8 \\'b8 \xcf\xf0\xe8}")
            << u"При ё При"_s;
        QTest::newRow("font charsets over the default cp1252")
            << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset161 A;}{\\f1\\fcharset204 T;}}"
                          "\\f0 \\'e9\\'d2\\f1 \\'e9}")
            << u"ι\u00D2й"_s; // 0xD2: undefined in cp1253, kept as its number
        QTest::newRow("surrogates and unicode fallbacks")
            << QByteArray("{\\rtf1\\u-10179?\\u-9141?\\u-10179?x\\u-8701?\\uc2\\u1046\\'3f\\'3fa{"
                          "\\uc0\\u1046 }\\u1046?b\\u-4064?}")
            << u"👋\uFFFDx\uFFFDЖaЖЖ\uF020"_s; // uc2 again after the group: "?b" skipped
        QTest::newRow("skipped groups")
            << QByteArray("{\\rtf1 a{\\*\\unknown b{c}d}{\\info{\\title t}}{\\pict\\bin4 }}}}x}"
                          "\\*y\\u1046\\bin3 {}\\b{\\field{\\*\\fldinst LINK}{\\fldrslt e}}}")
            << u"ayЖbe"_s; // the binary data is the fallback of \\u1046
        QTest::newRow("symbols") << QByteArray("{\\rtf1 a\\~b\\-c\\_d\\{\\}\\\\\\tab e\\line f}")
                                 << u"a bc\u2011d{}\\\te\nf"_s;
        QTest::newRow("paragraphs, line ends, truncated")
            << QByteArray("\xEF\xBB\xBF \r\n{\\rtf1 a\r\nb\\par c\\par de\\'c") << u"ab\nc\nde"_s;
        QTest::newRow("sizes past the bounds around a CR LF")
            << QByteArray("{\\rtf1\\fs70000 a\\u13?\\fs99999 \\u10?b\\fs0\\u13?\\fs-8\\u10?c}")
            << u"a\nb\nc"_s; // each size is the same as the one before: one run, one break
        QTest::newRow("sizes past the bounds before a code page")
            << QByteArray("{\\rtf1\\fs99999 \\'ff\\fs47483 \\'ff\\ansicpg1250}")
            << u"\u02D9\u02D9"_s; // one run: its bytes are decoded where it ends
        QTest::newRow("not rtf") << QByteArray("\x00\xff{\\rtf1 a}", 10)
                                 << u"error %1: "_s.arg(ErrorCode::RtfMalformed);
        QTest::newRow("too deep") << QByteArray("{\\rtf1 a") + QByteArray(256, '{')
                                  << u"error %1: "_s.arg(ErrorCode::RtfTooDeep);
    }
    void readsText()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        const QString expected = text.startsWith(u"error"_s) ? text : u"error 0: "_s + text;
        QCOMPARE(readFully(rtf), expected);
        QCOMPARE(scan(rtf), expected);
    }
};

// A full QGuiApplication: documents need fonts.
QTEST_MAIN(TestRtfCodec)
#include "tst_rtfcodec.moc"
