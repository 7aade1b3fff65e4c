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

// The anchors of a document as "text => address", neighbours of one address joined.
QStringList linksOf(const QTextDocument &document)
{
    QStringList links;
    QString lastHref;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const QString href = format.isAnchor() ? format.anchorHref() : QString();
            if (!href.isEmpty() && href == lastHref)
                links.last().insert(links.last().indexOf(u" => "_s), it.fragment().text());
            else if (!href.isEmpty())
                links.append(it.fragment().text() + u" => "_s + href);
            lastHref = href;
        }
        lastHref.clear();
    }
    return links;
}

// The links the scanner finds, as linksOf gives them.
QStringList scannedLinks(const QByteArray &rtf)
{
    const RtfTextScanner::TextAndLinks scanned = RtfTextScanner::textAndLinks(rtf).value();
    QStringList links;
    for (const Link &link : scanned.links)
        links.append(scanned.text.sliced(link.start, link.length) + u" => "_s +
                     link.url.toString(QUrl::FullyEncoded));
    return links;
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
        const QString sample = u"/tests/data/rtf/richedit-cp1251.rtf"_s;
        QVERIFY(readRtf(fileBytes(TestEnvironment::sourceDir() + sample), &sampled).ok());
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
        QVERIFY(readRtf("{\\rtf1\\fs70000 a\\fs0 b\\fs-8 c}", &sampled).ok());
        QCOMPARE(runsOf(sampled),
                 (QList<Run>{{0, u"a"_s, 16383.5, false, 0}, {0, u"bc"_s, 12, false, 0}}));
    }

    // Anchors to web and mail addresses and to local files go out as hyperlink fields
    // around their runs and come back as anchors with their text; any other anchor
    // is plain text.
    void writesAndReadsLinks()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        const auto insert = [&cursor](const QString &text, const QString &href, bool bold = false) {
            QTextCharFormat format;
            format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
            if (!href.isEmpty()) {
                format.setAnchor(true);
                format.setAnchorHref(href);
                format.setFontUnderline(true);
                format.setForeground(QColor(0, 0, 238));
            }
            cursor.insertText(text, format);
        };
        insert(u"см. "_s, {});
        insert(u"example"_s, u"https://example.org/a?q=%22x%22&b={}"_s);
        insert(u".org"_s, u"https://example.org/a?q=%22x%22&b={}"_s, true);
        insert(u" и "_s, {});
        insert(u"почта\\{}"_s, u"mailto:ivan@example.ru"_s);
        insert(u"\r\nзло"_s, u"javascript:alert(1)"_s);
        insert(u" файл"_s, u"file:///tmp/%D1%84 1.png"_s, true);
        insert(u" чужой"_s, u"file://host/etc/passwd"_s);
        const QByteArray rtf = writeRtf(document);
        QVERIFY(!rtf.contains("javascript") && !rtf.contains("host"));
        QTextDocument read;
        QVERIFY(readRtf(rtf, &read).ok());
        QCOMPARE(read.toPlainText(), document.toPlainText());
        QCOMPARE(linksOf(read),
                 (QStringList{u"example.org => https://example.org/a?q=%22x%22&b=%7B%7D"_s,
                              u"почта\\{} => mailto:ivan@example.ru"_s,
                              u" файл => file:///tmp/%D1%84%201.png"_s}));
        QCOMPARE(scan(rtf), readFully(rtf));
        QCOMPARE(scannedLinks(rtf), linksOf(read));
        read.setDefaultFont(document.defaultFont());
        QCOMPARE(writeRtf(read), rtf);
    }

    // Which fields make links, and that their instructions are never text: the
    // reader's and the scanner's text stay the same.
    void readsLinks_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");
        const auto field = [](const QByteArray &instruction, const QByteArray &result) {
            return "{\\rtf1{\\colortbl ;\\red0\\green0\\blue255;}a {\\field{\\*\\fldinst{" +
                   instruction + "}}{\\fldrslt{" + result + "}}} b}";
        };
        const auto row = [](const char *name, const QByteArray &rtf, const QString &text,
                            const QStringList &links = {}) {
            QTest::newRow(name) << rtf << text << links;
        };
        row("unquoted, no star, lower case",
            "{\\rtf1{\\field\\fldlock{\\fldinst  hyperlink ftp://f.org }"
            "{\\fldrslt f}}}",
            u"f"_s, {u"f => ftp://f.org"_s});
        row("word processor's groups and data",
            "{\\rtf1{\\field{\\*\\fldinst {\\rtlch\\insrsid1  HYPERLINK "
            "\"http://w.org/\" }{\\insrsid1 {\\*\\datafield 00d0c9ea}}}"
            "{\\fldrslt {\\cs15\\ul\\cf2\\insrsid1 w}}}}",
            u"w"_s, {u"w => http://w.org/"_s});
        row("Unicode and escapes in the address",
            field("HYPERLINK \"https://ru.org/\\u1052?\\'e0\\{\"", "ru"), u"a ru b"_s,
            {u"ru => https://ru.org/%D0%9C%C3%A0%7B"_s});
        row("result over paragraphs", field("HYPERLINK \"mailto:i@x.ru\"", "m\\par n"),
            u"a m\nn b"_s, {u"m => mailto:i@x.ru"_s, u"n => mailto:i@x.ru"_s});
        row("custom scheme, spaces before it", field("HYPERLINK \" quillet://x\"", "q"),
            u"a q b"_s);
        row("bookmark", field("HYPERLINK \\\\l \"top\"", "t"), u"a t b"_s);
        row("quote not closed", field("HYPERLINK \"http://x.org", "x"), u"a x b"_s);
        row("keyword glued", field("HYPERLINKhttp://x.org", "x"), u"a x b"_s);
        row("too long", field("HYPERLINK \"http://x.org/" + QByteArray(9000, 'a') + "\"", "x"),
            u"a x b"_s);
        row("result before instruction",
            "{\\rtf1{\\field{\\fldrslt r}{\\*\\fldinst HYPERLINK http://x.org}}}", u"r"_s);
        row("result outside a field", "{\\rtf1{\\*\\fldinst HYPERLINK http://x.org}{\\fldrslt r}}",
            u"r"_s);
        row("nested in the result",
            field("HYPERLINK http://o.org",
                  "o {\\field{\\*\\fldinst HYPERLINK http://n.org}{\\fldrslt n}} p"),
            u"a o n p b"_s, {u"o  => http://o.org"_s, u" p => http://o.org"_s});
        row("nested in the instruction",
            field("HYPERLINK {\\field{\\*\\fldinst X}{\\fldrslt http://n.org}}", "i"), u"a i b"_s);
    }
    void readsLinks()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument document;
        QVERIFY(readRtf(rtf, &document).ok());
        QTEST(document.toPlainText(), "text");
        QTEST(linksOf(document), "links");
        QCOMPARE(scan(rtf), readFully(rtf));
        QTEST(scannedLinks(rtf), "links");
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
