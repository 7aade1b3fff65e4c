#include "chatwindow/spellingmenu.h"
#include "spelling/markedwords.h"
#include "spelling/spellchecker.h"
#include "spelling/spellinghighlighter.h"
#include "testsupport.h"

#include <QMenu>
#include <QPlainTextEdit>

#include <memory>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

QStringList texts(const QMenu &menu)
{
    QStringList list;
    for (const QAction *action : menu.actions())
        list.append(action->isSeparator() ? u"|"_s : action->text());
    return list;
}

// Types the text key by key, as a person would.
void type(QWidget *widget, const QString &text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

class TestSpellingMenu : public QObject
{
    Q_OBJECT

private slots:
    // The message box with spelling, as the chat window has it.
    void messageBox()
    {
        TestEnvironment env;
        SpellChecker checker;
        QPlainTextEdit box;
        auto *spelling = new MessageSpelling(&box, checker);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setFocus();

        // The word being typed is marked once the cursor leaves it.
        type(&box, u"Я написал превет"_s);
        checker.load();
        QTRY_VERIFY(checker.isLoaded());
        QTRY_VERIFY(!spelling->highlighter()->isChecking());
        QCOMPARE(markedWords(*box.document()), QStringList());
        type(&box, u" "_s);
        QTRY_COMPARE(markedWords(*box.document()), QStringList{u"превет"_s});
        QTest::keyClick(&box, Qt::Key_Left, Qt::NoModifier);
        QTest::keyClick(&box, Qt::Key_Left, Qt::NoModifier);
        QCOMPARE(markedWords(*box.document()), QStringList{u"превет"_s});

        const auto pointAt = [&box](int position) {
            QTextCursor cursor(box.document());
            cursor.setPosition(position);
            return box.cursorRect(cursor).center();
        };
        const QStringList standard =
            texts(*std::unique_ptr<QMenu>(box.createStandardContextMenu(pointAt(4))));

        // On the misspelt word: suggestions, the two spelling entries, then Qt's.
        std::unique_ptr<QMenu> menu(spelling->createContextMenu(pointAt(13)));
        const QStringList entries = texts(*menu);
        const qsizetype add = entries.indexOf(u"Добавить в словарь"_s);
        QVERIFY2(add >= 1 && add <= SpellChecker::MaxSuggestions, qPrintable(entries.join(u", ")));
        QVERIFY(entries.mid(0, add).contains(u"привет"_s));
        QCOMPARE(entries.mid(add + 1), QStringList({u"Пропустить"_s, u"|"_s}) + standard);

        // A suggestion replaces the word, undone in one step.
        menu->actions().at(entries.indexOf(u"привет"_s))->trigger();
        QCOMPARE(box.toPlainText(), u"Я написал привет "_s);
        QTRY_COMPARE(markedWords(*box.document()), QStringList());
        box.undo();
        QCOMPARE(box.toPlainText(), u"Я написал превет "_s);
        QTRY_COMPARE(markedWords(*box.document()), QStringList{u"превет"_s});

        // Ignored, the word is right; another is still marked.
        menu.reset(spelling->createContextMenu(pointAt(13)));
        menu->actions().at(texts(*menu).indexOf(u"Пропустить"_s))->trigger();
        QTRY_COMPARE(markedWords(*box.document()), QStringList());
        box.setPlainText(u"дила"_s);
        QTRY_COMPARE(markedWords(*box.document()), QStringList{u"дила"_s});
    }

    // A paste of more words than one turn of the event loop checks: the rest is
    // checked on the following turns, up to the last word.
    void largePaste()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("far too slow under AddressSanitizer; the normal build runs it");
#endif
        TestEnvironment env;
        SpellChecker checker;
        QPlainTextEdit box;
        auto *spelling = new MessageSpelling(&box, checker);
        checker.load();
        QTRY_VERIFY(checker.isLoaded());
        QStringList words;
        const QString letters = u"бвгджзклмнпрстфхцчшщ"_s;
        for (int i = 0; i < 10000; ++i)
            words.append(u"программ"_s + letters[i % 20] + letters[i / 20 % 20] +
                         letters[i / 400 % 20] + letters[i / 8000]);
        box.insertPlainText(words.mid(0, 1000).join(u' ') + u'\n' + words.mid(1000).join(u"\n"_s));
        // Slow under the sanitizers: the speed is the benchmark's to measure.
        QTRY_VERIFY_WITH_TIMEOUT(!spelling->highlighter()->isChecking(), 120000);
        QCOMPARE(markedWords(*box.document()), words);
    }
};

QTEST_MAIN(TestSpellingMenu)
#include "tst_spellingmenu.moc"
