#include "richtext/rtflogfile.h"
#include "richtext/rtfreader.h"
#include "richtext/rtftextscanner.h"
#include "richtext/rtfwriter.h"
#include "testsupport.h"

#include <QDebug>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <iterator>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// What the full reader makes of the bytes: its document's plain text, or its error.
struct Reading
{
    QString text;
    int error = 0;

    friend bool operator==(const Reading &, const Reading &) = default;
};

char *toString(const Reading &reading)
{
    QString text = reading.text;
    text.replace('\n'_L1, u"\\n"_s);
    return qstrdup(u"error %1: \"%2\""_s.arg(reading.error).arg(text).toUtf8());
}

Reading readFully(const QByteArray &rtf)
{
    QTextDocument document;
    const Status status = readRtf(rtf, &document);
    return {document.toPlainText(), status ? 0 : status.error().number};
}

Reading scan(const QByteArray &rtf)
{
    const Result<QString> text = RtfTextScanner::plainText(rtf);
    return text ? Reading{text.value(), 0} : Reading{QString(), text.error().number};
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

// Appends one message the way the chat writes it: bold coloured header, body lines.
void appendMessage(QTextCursor &cursor, const QString &header, const QString &body,
                   bool separateLine)
{
    QTextCharFormat head;
    head.setFontPointSize(8);
    head.setFontWeight(QFont::Bold);
    head.setForeground(QColor(0, 128, 0));
    QTextCharFormat text;
    text.setFontPointSize(9);
    text.setForeground(QColor(0, 0, 0));
    QTextCharFormat spacer;
    spacer.setFontPointSize(3);
    if (!cursor.document()->isEmpty())
        cursor.insertText(u" \r\n"_s, spacer);
    cursor.insertText(separateLine ? header + u"\r\n"_s : header, head);
    cursor.insertText(body + u"\r\n"_s, text);
}

// Bytes that look like RTF to a reader: control words it knows, groups, escapes,
// text in several scripts, and noise.
QByteArray randomRtf(QRandomGenerator &random)
{
    static const char *const pieces[] = {
        "{",
        "}",
        "}",
        "{\\*\\x ",
        "{\\fonttbl",
        "{\\f1\\fcharset204 A;}",
        "\\f1 ",
        "\\f2 ",
        "\\f0 ",
        "{\\f2\\fcharset0 B}",
        "\\ansicpg1251 ",
        "\\ansicpg1253 ",
        "\\deff1 ",
        "\\plain ",
        "\\b ",
        "\\b0 ",
        "\\fs16 ",
        "\\cf2 ",
        "\\i ",
        "\\ul ",
        "\\ulnone ",
        "\\par ",
        "\\line ",
        "\\tab ",
        "\\sect ",
        "\\uc0 ",
        "\\uc2 ",
        "\\u1046?",
        "\\u-10179?",
        "\\u-9141?",
        "\\u13?",
        "\\u10?",
        "\\u8233?",
        "\\u160?",
        "\\u64976?",
        "\\'e9",
        "\\'b8",
        "\\'0d",
        "\\'a0",
        "\\'3",
        "\\~",
        "\\_",
        "\\-",
        "\\{",
        "\\}",
        "\\\\",
        "\\\r\n",
        "\\bin3 ",
        "{\\colortbl;\\red1;}",
        "{\\info{\\title t}}",
        "{\\*\\fldinst y}",
        "\\emdash ",
        "\\rquote ",
        "\\emspace ",
        "abc ",
        "\xcf\xf0",
        "\x01\t",
        "\r\n",
        ";",
        "\\",
        "\\*",
        "\\u",
        "\\f",
        "\\fcharset161 ",
        "x",
        "\\rtf1 ",
    };
    QByteArray rtf("{\\rtf1 ");
    const int count = random.bounded(1, 60);
    for (int i = 0; i < count; ++i)
        rtf += pieces[random.bounded(int(std::size(pieces)))];
    return rtf;
}

} // namespace

class TestRtfTextScanner : public QObject
{
    Q_OBJECT

private slots:
    // Word processors' files and the fuzzing seeds, hostile ones included.
    void matchesReaderOnFiles_data()
    {
        QTest::addColumn<QString>("path");
        const QString root = TestEnvironment::sourceDir();
        for (const QString &folder : {u"/tests/data/rtf"_s, u"/fuzz/corpus/rtf"_s}) {
            const QDir dir(root + folder);
            const QStringList names = dir.entryList(QDir::Files);
            QVERIFY(!names.isEmpty());
            for (const QString &name : names)
                QTest::newRow(qPrintable(folder + '/'_L1 + name)) << dir.filePath(name);
        }
    }

    void matchesReaderOnFiles()
    {
        QFETCH(QString, path);
        const QByteArray rtf = readFile(path);
        QCOMPARE(scan(rtf), readFully(rtf));
    }

    // Logs as the chat writes them, read back from disk.
    void matchesReaderOnOwnLogs()
    {
        TestEnvironment env;
        QTextDocument document;
        RtfLogFile log(&document);
        QTextCursor cursor(&document);
        const QString path = env.path(u"2026-12-05 16-24-27.RTF"_s);
        const QStringList bodies{
            u"Привет! Встретимся у «Ёлки» — в 7?"_s,
            u"plain Latin text, with {braces} and a back\\slash"_s,
            u"two\r\nlines\tand a tab, 👋 and 𝄞"_s,
            u"ÀÉÎõü ñ ß € ‰ № \u00A0nbsp"_s,
            u"}{\\rtf1\\par} \\'e9 \\u1046?"_s,
        };
        for (int i = 0; i < 300; ++i) {
            const QString time = u"12:%1:00 - 05.12.2026"_s.arg(i % 60, 2, 10, '0'_L1);
            const bool separate = i % 3 == 0;
            const QString name = i % 2 ? u"Борис"_s : u"Alice"_s;
            appendMessage(cursor,
                          separate ? name + u"  ("_s + time + ')'_L1
                                   : '('_L1 + time + u") "_s + name + u":  "_s,
                          bodies.at(i % bodies.size()) + QString::number(i), separate);
            if (i % 50 == 0 || i == 299)
                QVERIFY(log.save(path).ok());
        }
        const QByteArray rtf = readFile(path);
        QCOMPARE(scan(rtf), readFully(rtf));
        // The text is the document's: a position found in it selects the same text in the view.
        QCOMPARE(scan(rtf).text, document.toPlainText());
    }

    void matchesReaderOnEdges_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("code page per font")
            << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 "
                          "Tahoma;}}\\f0 \\'e9\\f1 \\'e9\\'b8 \\'a0x}");
        QTest::newRow("code page changed while bytes wait")
            << QByteArray("{\\rtf1 \\'e9\\ansicpg1251 \\'e9\\b \\'e9}");
        QTest::newRow("font table after the text")
            << QByteArray("{\\rtf1\\f3 \\'e9{\\fonttbl{\\f3\\fcharset204 T;}}\\'e9\\b x}");
        QTest::newRow("font entry closed by its group") << QByteArray(
            "{\\rtf1{\\fonttbl{\\f1\\fcharset161 A}{\\f2\\fcharset204}}\\f1\\'e1\\f2\\'e1}");
        QTest::newRow("unicode fallbacks")
            << QByteArray("{\\rtf1\\uc2\\u1046\\'3f\\'3fa{\\uc0\\u1046}\\u1046?b\\u1046\\par c}");
        QTest::newRow("fallback is a control word")
            << QByteArray("{\\rtf1\\u1046\\par x\\u1046\\{y\\u1046\\bin1 zw}");
        QTest::newRow("surrogates")
            << QByteArray("{\\rtf1\\u-10179?\\u-9141? \\u-10179?x\\u-8701? \\u-10179?{\\b\\u-9141?}"
                          "\\u-10179?}");
        QTest::newRow("breaks inside text") << QByteArray(
            "{\\rtf1 a\\u13?\\u10?b\\u13?{\\b\\u10?}c\\u8232?\\u8233?\\u64976?d\\line "
            "e\\~f\\u160?g\\'a0h}");
        QTest::newRow("symbols and skipped groups")
            << QByteArray("{\\rtf1 a{\\*\\x b}{\\info{\\title t}}{\\pict\\bin4 }}}}x}{\\field{\\*"
                          "\\fldinst H}{\\fldrslt link}}\\emdash\\endash\\bullet\\lquote\\rquote"
                          "\\ldblquote\\rdblquote\\emspace\\-\\_\\tab\\cell\\row\\page\\sect\\\r\n"
                          "z\\*y\\b w}");
        QTest::newRow("control bytes") << QByteArray("{\\rtf1 a\x01\x7f\tb\\'01\\'09c}");
        QTest::newRow("truncated") << QByteArray("{\\rtf1 abc\\par de\\'c");
        QTest::newRow("text after the document") << QByteArray("{\\rtf1 ab}cd{\\rtf1 ef}");
        QTest::newRow("huge numbers")
            << QByteArray("{\\rtf1\\fs99999999999999999\\u99999999999\\uc-5\\cf-3 a\\bin-7 b"
                          "\\bin2147483647 c}");
        QTest::newRow("too deep") << QByteArray("{\\rtf1 a") + QByteArray(100000, '{');
        QTest::newRow("not rtf") << QByteArray("<html>{\\rtf1}");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF \r\n{\\rtf1 a}");
    }

    void matchesReaderOnEdges()
    {
        QFETCH(QByteArray, rtf);
        QCOMPARE(scan(rtf), readFully(rtf));
    }

    // Token soup from a fixed seed: any difference from the reader is a fault of
    // the scanner, whatever the input looks like.
    void matchesReaderOnRandomInput()
    {
        QRandomGenerator random(20261205);
        for (int i = 0; i < 3000; ++i) {
            const QByteArray rtf = randomRtf(random);
            const Reading expected = readFully(rtf);
            const Reading actual = scan(rtf);
            if (actual != expected)
                qWarning() << "input" << rtf;
            QCOMPARE(actual, expected);
        }
    }
};

QTEST_MAIN(TestRtfTextScanner)
#include "tst_rtftextscanner.moc"
