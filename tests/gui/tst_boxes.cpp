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
    void textIsShownAsTyped()
    {
        const QString text = u"/home/a/<b>chat</b> &lt;1&gt;.QLIMChat"_s;
        QStringList shown;
        // Reads the next box as soon as it is shown, then accepts it.
        const auto onNextBox = [&shown](const QString &typed) {
            auto *poll = new QTimer(qApp);
            connect(poll, &QTimer::timeout, poll, [poll, &shown, typed] {
                auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (!box)
                    return;
                poll->stop();
                poll->deleteLater();
                shown.clear();
                for (const QLabel *label : box->findChildren<QLabel *>()) {
                    if (label->textFormat() == Qt::PlainText && !label->text().isEmpty())
                        shown.append(label->text());
                }
                if (auto *input = qobject_cast<QInputDialog *>(box))
                    input->setTextValue(typed);
                box->accept();
            });
            poll->start(10);
        };
        onNextBox({});
        Boxes::message(nullptr, text + u"\r\n\r\nНет файла."_s, BoxStyle{});
        QCOMPARE(shown, QStringList{text + u"\n\nНет файла."_s});
        onNextBox(u"<i>Семья</i>"_s);
        QCOMPARE(Boxes::input(nullptr, text, u"offer"_s), u"<i>Семья</i>"_s);
        QCOMPARE(shown, QStringList{text});
    }

    // A confirmation without a file name is no confirmation. Colours are 0x00BBGGRR;
    // one is taken only when confirmed, and the custom colours' text (kept in the
    // settings) reads back what it wrote.
    void dialogsAnswered()
    {
        FileDialog::setHandler([](const FileDialog::Request &request) {
            const bool save = request.mode == FileDialog::Mode::Save;
            return FileDialog::Reply{true, save ? u"/x/a.QLIMChat"_s : QString()};
        });
        FileDialog file;
        QVERIFY(file.showSave());
        QCOMPARE(file.fileName(), u"/x/a.QLIMChat"_s);
        QVERIFY(!file.showOpen());
        FileDialog::resetHandler();

        QCOMPARE(colorFromRgbValue(0x00FF0080), QColor(0x80, 0x00, 0xFF));
        QCOMPARE(rgbValueFromColor(QColor::fromHsv(0, 255, 255)), 0x0000FF);
        bool confirm = false;
        ColorDialog::setHandler([&confirm](const ColorDialog::Request &request) {
            return ColorDialog::Reply{confirm, 0x7F123456, request.customColors + u",1"_s};
        });
        ColorDialog colour;
        colour.setColor(0x00FF00);
        colour.setCustomColorsText(u"5"_s);
        QVERIFY(!colour.exec());
        QCOMPARE(colour.color(), 0x00FF00);
        confirm = true;
        QVERIFY(colour.exec());
        QCOMPARE(colour.color(), 0x123456); // the top byte is not a colour
        QCOMPARE(colour.customColorsText(), u"5,1"_s);
        ColorDialog::resetHandler();
        QList<qint32> parsed(16, 0xFFFFFF); // white stands for unreadable and missing entries
        parsed[4] = 7;
        QCOMPARE(ColorDialog::parseCustomColors(u"abc,,-1,16777216, 7 ,16777215,0x10"_s), parsed);
        const QString text =
            u"0,1,255,65280,16711680,16777215,8421504,12,13,14,15,16,17,18,19,20"_s;
        QCOMPARE(ColorDialog::formatCustomColors(ColorDialog::parseCustomColors(text + u",9"_s)),
                 text);
    }

    // Headless and unanswered, a dialog is cancelled instead of waiting for nobody.
    void unansweredHeadlessDialogsAreCancelled()
    {
        QTest::ignoreMessage(QtWarningMsg, "File dialog cancelled: no screen and no answer");
        QVERIFY(!FileDialog().showSave());
        QTest::ignoreMessage(QtWarningMsg, "Colour dialog cancelled: no screen and no answer");
        QVERIFY(!ColorDialog().exec());
    }
};

QTEST_MAIN(TestBoxes)
#include "tst_boxes.moc"
