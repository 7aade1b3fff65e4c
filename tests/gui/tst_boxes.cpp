#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "testsupport.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QTimer>

using namespace quillet;
using namespace Qt::StringLiterals;

// The questions the program puts to the user: message and input boxes, and the
// file and colour dialogs, all answered by tests through their seams.
class TestBoxes : public QObject
{
    Q_OBJECT

private slots:
    // Paths and messages may hold "<b>" or "&lt;": the real boxes show them as typed.
    void textIsShownAsTypedAndDialogs()
    {
        const QString text = u"/home/a/<b>chat</b> &lt;1&gt;.QLIMChat"_s;
        QStringList shown;
        // Reads each box as soon as it is shown, then accepts it.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&shown] {
            if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                shown.clear();
                for (const QLabel *label : box->findChildren<QLabel *>())
                    if (label->textFormat() == Qt::PlainText && !label->text().isEmpty())
                        shown.append(label->text());
                if (auto *input = qobject_cast<QInputDialog *>(box))
                    input->setTextValue(u"<i>Семья</i>"_s);
                box->accept();
            }
        });
        poll.start(10);
        Boxes::message(nullptr, text + u"\r\n\r\nНет файла."_s, BoxStyle{});
        QCOMPARE(shown, QStringList{text + u"\n\nНет файла."_s});
        QCOMPARE(Boxes::input(nullptr, text, u"offer"_s), u"<i>Семья</i>"_s);
        QCOMPARE(shown, QStringList{text});
        poll.stop();

        // Headless and unanswered, a dialog is cancelled instead of waiting for
        // nobody; the custom colours' text (kept in the settings) reads white for
        // unreadable and missing entries.
        QTest::ignoreMessage(QtWarningMsg, "File dialog cancelled: no screen and no answer");
        QVERIFY(!FileDialog().showSave());
        QTest::ignoreMessage(QtWarningMsg, "Colour dialog cancelled: no screen and no answer");
        QVERIFY(!ColorDialog().exec());
        QList<qint32> parsed(16, 0xFFFFFF);
        parsed[4] = 7;
        QCOMPARE(ColorDialog::parseCustomColors(u"abc,,-1,16777216, 7 ,16777215,0x10"_s), parsed);
        QCOMPARE(ColorDialog::parseCustomColors(ColorDialog::formatCustomColors(parsed)), parsed);
    }
};

QTEST_MAIN(TestBoxes)
#include "tst_boxes.moc"
