#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "testsupport.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// Acts on the next modal window as soon as it is shown, as a person would.
void onNextModal(std::function<void(QWidget *)> act)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            act(modal);
        }
    });
    poll->start(10);
}

QStringList plainLabels(QWidget *window)
{
    QStringList texts;
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (label->textFormat() == Qt::PlainText && !label->text().isEmpty())
            texts.append(label->text());
    }
    return texts;
}

} // namespace

// The questions the program puts to the user: message and input boxes, and the
// file and colour dialogs, all answered by tests through their seams.
class TestBoxes : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        Boxes::resetHandler();
        FileDialog::resetHandler();
        ColorDialog::resetHandler();
    }

    // Paths and messages may hold "<b>" or "&lt;": the real boxes show them as typed.
    void textIsShownAsTyped()
    {
        const QString text = u"/home/a/<b>chat</b> &lt;1&gt;.QLIMChat"_s;
        QStringList shown;
        onNextModal([&](QWidget *modal) {
            shown = plainLabels(modal);
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                box->findChild<QPushButton *>()->click();
            else
                modal->close();
        });
        QCOMPARE(Boxes::message(nullptr, text + u"\r\n\r\nНет файла."_s, BoxStyle{}),
                 BoxAnswer::Ok);
        QCOMPARE(shown, QStringList{text + u"\n\nНет файла."_s});
        onNextModal([&](QWidget *modal) {
            shown = plainLabels(modal);
            if (auto *dialog = qobject_cast<QInputDialog *>(modal))
                dialog->setTextValue(u"<i>Семья</i>"_s);
            static_cast<QDialog *>(modal)->accept();
        });
        QCOMPARE(Boxes::input(nullptr, text, u"offer"_s), u"<i>Семья</i>"_s);
        QCOMPARE(shown, QStringList{text});
        onNextModal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
        QCOMPARE(Boxes::input(nullptr, text, u"offer"_s), QString());
    }

    // An error report ends with the error's number and description.
    void handlerAnswersEveryBox()
    {
        QList<BoxRequest> seen;
        Boxes::setHandler([&](const BoxRequest &request) {
            seen.append(request);
            return BoxReply{BoxAnswer::Retry, u"Семья"_s};
        });
        QCOMPARE(Boxes::input(nullptr, u"p"_s, u"o"_s), u"Семья"_s);
        QCOMPARE(Boxes::showError(nullptr, Error::fromErrno(ENOSPC),
                                  BoxStyle{BoxButtons::AbortRetryIgnore, BoxIcon::Stop},
                                  u"Не удалось."_s),
                 BoxAnswer::Retry);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].offered, u"o"_s);
        QCOMPARE(seen[1].text, u"Не удалось.\r\n\r\nКод %1\r\nНа диске нет места."_s.arg(ENOSPC));
        QCOMPARE(seen[1].style.number(), 18);
    }

    // What the end-to-end tests read of the real program's boxes, and how they answer.
    void environmentLogAndAnswers()
    {
        TestEnvironment env;
        const QString log = env.path(u"boxes.log"_s);
        qputenv("QUILLET_BOX_LOG", log.toUtf8());
        qputenv("QUILLET_BOX_ANSWERS", "7");
        Boxes::installFromEnvironment();
        qunsetenv("QUILLET_BOX_LOG");
        qunsetenv("QUILLET_BOX_ANSWERS");
        QCOMPARE(Boxes::message(nullptr, u"a\r\nb"_s, BoxStyle{BoxButtons::YesNoCancel}),
                 BoxAnswer::No);
        QCOMPARE(Boxes::message(nullptr, u"c"_s, BoxStyle{BoxButtons::AbortRetryIgnore}),
                 BoxAnswer::Abort);
        QCOMPARE(Boxes::input(nullptr, u"p"_s, u"offer"_s), u"offer"_s);
        QCOMPARE(TestEnvironment::readAll(log), u"3\ta\\r\\nb\t\n2\tc\t\ninput\tp\toffer\n"_s);
    }

    // A confirmation without a file name is no confirmation.
    void fileDialogAnswers()
    {
        QWidget owner;
        QList<FileDialog::Request> seen;
        FileDialog::setHandler([&seen](const FileDialog::Request &request) {
            seen.append(request);
            const bool save = request.mode == FileDialog::Mode::Save;
            return FileDialog::Reply{true, save ? u"/x/a.QLIMChat"_s : QString()};
        });
        FileDialog dialog;
        dialog.setFilter(u"F (*.f)"_s);
        dialog.setOwnerWindow(&owner);
        QVERIFY(dialog.showSave());
        QCOMPARE(dialog.fileName(), u"/x/a.QLIMChat"_s);
        QVERIFY(!dialog.showOpen());
        QCOMPARE(dialog.fileName(), QString());
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[1].mode, FileDialog::Mode::Open);
        QCOMPARE(seen[1].owner, &owner);
    }

    // Colours are 0x00BBGGRR; the choice is taken only when confirmed, and the
    // custom colours' text (kept in the settings) reads back what it wrote.
    void colorDialogAndItsText()
    {
        QCOMPARE(colorFromRgbValue(0x00FF0080), QColor(0x80, 0x00, 0xFF));
        QCOMPARE(rgbValueFromColor(QColor::fromHsv(0, 255, 255)), 0x0000FF);
        bool confirm = false;
        ColorDialog::setHandler([&confirm](const ColorDialog::Request &request) {
            return ColorDialog::Reply{confirm, 0x7F123456, request.customColors + u",1"_s};
        });
        ColorDialog dialog;
        dialog.setColor(0x00FF00);
        dialog.setCustomColorsText(u"5"_s);
        QVERIFY(!dialog.exec());
        QCOMPARE(dialog.color(), 0x00FF00);
        QCOMPARE(dialog.customColorsText(), u"5"_s);
        confirm = true;
        QVERIFY(dialog.exec());
        QCOMPARE(dialog.color(), 0x123456); // the top byte is not a colour
        QCOMPARE(dialog.customColorsText(), u"5,1"_s);

        QList<qint32> parsed(16, 0xFFFFFF); // white stands for unreadable and missing entries
        parsed[4] = 7;
        QCOMPARE(ColorDialog::parseCustomColors(u"abc,,-1,16777216, 7 ,16777215,0x10"_s), parsed);
        const QString text = u"0,1,255,65280,16711680,16777215,8421504,12,13,14,15,16,17,18,19,20"_s;
        QCOMPARE(ColorDialog::formatCustomColors(ColorDialog::parseCustomColors(text + u",9"_s)),
                 text);
    }

    // Headless and unanswered, a dialog is cancelled instead of waiting for nobody.
    void unansweredHeadlessDialogsAreCancelled()
    {
        QTest::ignoreMessage(QtWarningMsg, "File dialog cancelled: no screen and no answer");
        QVERIFY(!FileDialog().showSave());
        QTest::ignoreMessage(QtWarningMsg, "Colour dialog cancelled: no screen and no answer");
        ColorDialog colour;
        colour.setColor(42);
        QVERIFY(!colour.exec());
        QCOMPARE(colour.color(), 42);
    }
};

QTEST_MAIN(TestBoxes)
#include "tst_boxes.moc"
