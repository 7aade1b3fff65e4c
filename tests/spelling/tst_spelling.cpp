#include "spelling/markedwords.h"
#include "spelling/personalwordlist.h"
#include "spelling/spellchecker.h"
#include "spelling/spellinghighlighter.h"
#include "testsupport.h"

#include <QSignalSpy>

#include <algorithm>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// Checks `text` in a fresh document once the dictionaries are there.
struct CheckedDocument
{
    QTextDocument document;
    SpellingHighlighter highlighter;

    CheckedDocument(SpellChecker &checker, const QString &text, int typing = -1)
        : highlighter(&document, checker)
    {
        // As a text view's: without a layout a document reports no edits.
        document.documentLayout();
        highlighter.setTypingPosition(typing);
        document.setPlainText(text);
    }
};

bool checked(SpellChecker &checker, const CheckedDocument &checkedDocument)
{
    checker.load();
    return QTest::qWaitFor([&] { return checker.isLoaded(); }, 20000) &&
           QTest::qWaitFor([&] { return !checkedDocument.highlighter.isChecking(); }, 20000);
}

} // namespace

class TestSpelling : public QObject
{
    Q_OBJECT

private slots:
    // Debian's ru_RU and en_US as installed. The highlighter changes formats
    // only: the text and the undo history stay as they were.
    void marking_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("typing");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("misspelt, both languages in a line")
            << u"Превет,\nкак дила? Я пишу hello world, а ответ wrold."_s << -1
            << QStringList{u"Превет"_s, u"дила"_s, u"wrold"_s};
        QTest::newRow("right")
            << u"Съешь же ещё этих мягких французских булок, кто-то да выпьет чаю. The quick "
               "brown fox doesn't jump over the well-known lazy dog."_s
            << -1 << QStringList();
        QTest::newRow("links")
            << u"Смотри https://exmple.org/страниица, http://ya.ru/?q=првет, "
               "ftp://fles.exmple.org, mailto:vasya@exmple.org и www.exmple.com/докс, vasya.pupkin+chat@exmple-mail.org"_s
            << -1 << QStringList();
        QTest::newRow("digits, all capitals")
            << u"Встреча в 10ч, комната 3б, пароль abc123 и snake_case; отчёт для ВКСУ и QWRT."_s
            << -1 << QStringList();
        QTest::newRow("word at the cursor") << u"превет дила"_s << 11 << QStringList{u"превет"_s};
        QTest::newRow("ё and е") << u"Ёлка и елка, ещё и еще, всё, зелёный и зеленый"_s << -1
                                 << QStringList();
    }

    void marking()
    {
        QFETCH(QString, text);
        QFETCH(int, typing);
        TestEnvironment env;
        SpellChecker checker;
        CheckedDocument checkedDocument(checker, text, typing);
        QVERIFY(checked(checker, checkedDocument));
        QTEST(markedWords(checkedDocument.document), "marked");
        QCOMPARE(checkedDocument.document.toPlainText(), text);
        QVERIFY(!checkedDocument.document.isUndoAvailable());
    }

    // Words added to the personal list are right from then on, also after a
    // restart; an ignored word only in this run. Each write keeps the words
    // another running copy added. A damaged list keeps its
    // valid lines and the next write replaces it whole; a folder in its place
    // is no list and cannot be replaced, but the word is right for the run.
    void personalList_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("missing") << QByteArray() << false << QStringList();
        QTest::newRow("torn") << "\xEF\xBB\xBFКвиллет\r\n\n  Грейхоллоу \nнедопис\xD0"_ba << false
                              << QStringList{u"Грейхоллоу"_s, u"Квиллет"_s};
        QTest::newRow("binary") << QByteArray("\x00\x01\xFF\nКвиллет\n\x7F\x80 \t\nДва слова\n", 39)
                                << false << QStringList{u"Квиллет"_s};
        QTest::newRow("huge") << QByteArray(PersonalWordList::MaxFileSize + 1, 'x') << false
                              << QStringList();
        QTest::newRow("folder") << QByteArray() << true << QStringList();
    }

    void personalList()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, folder);
        QFETCH(QStringList, kept);
        TestEnvironment env;
        const QString path = PersonalWordList::defaultPath();
        if (folder)
            QVERIFY(QDir().mkpath(path + u"/inside"_s));
        else if (!file.isEmpty())
            env.touch(QDir(env.root()).relativeFilePath(path), file);
        const QString added = u"Зумерр"_s, ignored = u"Бубубу"_s;
        {
            SpellChecker checker;
            CheckedDocument checkedDocument(checker, added + u' ' + ignored);
            QVERIFY(checked(checker, checkedDocument));
            for (const QString &word : kept)
                QVERIFY2(!checker.isMisspelt(word), qPrintable(word));
            QCOMPARE(markedWords(checkedDocument.document), QStringList({added, ignored}));
            // Another running copy adds a word meanwhile: this write keeps it.
            if (!folder && file.size() < PersonalWordList::MaxFileSize) {
                QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
                QFile list(path);
                QVERIFY(list.open(QIODevice::Append));
                list.write("\nЧужоеслово\n");
                kept.append(u"Чужоеслово"_s);
            }
            QCOMPARE(checker.addToDictionary(added).ok(), !folder);
            checker.ignore(ignored);
            QTRY_COMPARE(markedWords(checkedDocument.document), QStringList());
        }
        SpellChecker restarted;
        CheckedDocument checkedDocument(restarted, added + u' ' + ignored);
        QVERIFY(checked(restarted, checkedDocument));
        QCOMPARE(markedWords(checkedDocument.document),
                 folder ? QStringList({added, ignored}) : QStringList{ignored});
        if (!folder) {
            kept.append(added);
            std::sort(kept.begin(), kept.end());
            QCOMPARE(TestEnvironment::readAll(path), kept.join(u'\n') + u'\n');
        }
    }

    // $DICPATH comes first; a dictionary that spells a word with "ё" only
    // takes it with "е" too, and the other way round.
    void dictionaryFolders()
    {
        TestEnvironment env;
        env.touch(u"dicts/ru_RU.aff"_s, "SET UTF-8\nTRY ёелкаж\n");
        env.touch(u"dicts/ru_RU.dic"_s, "2\nёлка\nежик\n");
        qputenv("DICPATH", env.path(u"dicts"_s).toUtf8());
        SpellChecker checker;
        qunsetenv("DICPATH");
        CheckedDocument checkedDocument(checker, u"елка ёжик ёж превет hello"_s);
        QVERIFY(checked(checker, checkedDocument));
        QCOMPARE(markedWords(checkedDocument.document), QStringList({u"ёж"_s, u"превет"_s}));
    }

    // Without dictionaries nothing is marked or suggested, and the checker says so.
    void noDictionaries()
    {
        TestEnvironment env;
        QVERIFY(QDir().mkpath(env.path(u"empty"_s)));
        SpellChecker checker({env.path(u"empty"_s)}, env.path(u"words.txt"_s));
        QSignalSpy loaded(&checker, &SpellChecker::dictionariesLoaded);
        CheckedDocument checkedDocument(checker, u"Превет, как дила?"_s);
        QVERIFY(checked(checker, checkedDocument));
        QCOMPARE(loaded.size(), 1);
        QVERIFY(!checker.hasDictionaries());
        QCOMPARE(markedWords(checkedDocument.document), QStringList());
        QCOMPARE(checker.suggestions(u"превет"_s), QStringList());
    }
};

QTEST_MAIN(TestSpelling)
#include "tst_spelling.moc"
