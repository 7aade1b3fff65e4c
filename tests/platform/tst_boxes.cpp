#include "gui/boxes.h"
#include "gui/placement.h"
#include "testsupport.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

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

} // namespace

class TestBoxes : public QObject
{
    Q_OBJECT

private slots:
    // Paths and messages may hold "<b>" or "&lt;": the real boxes show them as typed.
    void textIsShownAsTyped()
    {
        const QString text = u"/home/a/<b>chat</b> &lt;1&gt;.QLIMChat"_s;
        Qt::TextFormat boxFormat = Qt::AutoText;
        QStringList plainLabels;
        onNextModal([&](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                boxFormat = box->textFormat();
                for (const QLabel *label : box->findChildren<QLabel *>()) {
                    if (label->textFormat() == Qt::PlainText)
                        plainLabels << label->text();
                }
                box->findChild<QPushButton *>()->click();
            } else {
                modal->close();
            }
        });
        QCOMPARE(Boxes::message(nullptr, text + u"\r\n\r\nФайл не существует."_s,
                                (BoxStyle{BoxButtons::Ok, BoxIcon::Stop})),
                 BoxAnswer::Ok);
        QCOMPARE(boxFormat, Qt::PlainText);
        QCOMPARE(plainLabels, QStringList{text + u"\n\nФайл не существует."_s});

        plainLabels.clear();
        onNextModal([&](QWidget *modal) {
            auto *dialog = qobject_cast<QInputDialog *>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            for (const QLabel *label : dialog->findChildren<QLabel *>()) {
                if (label->textFormat() == Qt::PlainText)
                    plainLabels << label->text();
            }
            dialog->setTextValue(u"<i>Семья</i>"_s);
            dialog->accept();
        });
        QCOMPARE(Boxes::input(nullptr, text, u"offer"_s), u"<i>Семья</i>"_s);
        QCOMPARE(plainLabels, QStringList{text});

        onNextModal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
        QCOMPARE(Boxes::input(nullptr, text, u"offer"_s), QString());
    }

    void handlerAnswersAndSeesEveryBox()
    {
        QList<BoxRequest> seen;
        Boxes::setHandler([&](const BoxRequest &r) {
            seen.append(r);
            return BoxReply{BoxAnswer::Retry, u"Семья"_s};
        });
        QCOMPARE(Boxes::message(nullptr, u"t"_s,
                                (BoxStyle{BoxButtons::AbortRetryIgnore, BoxIcon::Stop})),
                 BoxAnswer::Retry);
        QCOMPARE(Boxes::input(nullptr, u"p"_s, u"o"_s), u"Семья"_s);
        Boxes::showError(nullptr, Error::fromErrno(ENOSPC), BoxStyle{BoxButtons::Ok, BoxIcon::Stop},
                         u"Не удалось."_s);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].style.number(), 18);
        QCOMPARE(seen[1].kind, BoxRequest::Kind::Input);
        QCOMPARE(seen[1].offered, u"o"_s);
        QCOMPARE(seen[2].text, u"Не удалось.\r\n\r\nКод %1\r\nНа диске нет места."_s.arg(ENOSPC));
        Boxes::resetHandler();
    }

    void environmentLogAndAnswers()
    {
        TestEnvironment env;
        const QString log = env.path(u"boxes.log"_s);
        qputenv("QUILLET_BOX_LOG", log.toUtf8());
        qputenv("QUILLET_BOX_ANSWERS", "7");
        Boxes::installFromEnvironment();
        QCOMPARE(Boxes::message(nullptr, u"a\r\nb"_s, BoxStyle{BoxButtons::YesNoCancel}),
                 BoxAnswer::No);
        QCOMPARE(Boxes::message(nullptr, u"c"_s, BoxStyle{BoxButtons::AbortRetryIgnore}),
                 BoxAnswer::Abort);
        QCOMPARE(Boxes::input(nullptr, u"p"_s, u"offer"_s), u"offer"_s);
        QCOMPARE(TestEnvironment::readAll(log), u"3\ta\\r\\nb\t\n2\tc\t\ninput\tp\toffer\n"_s);
        qunsetenv("QUILLET_BOX_LOG");
        qunsetenv("QUILLET_BOX_ANSWERS");
        Boxes::resetHandler();
    }

    void placementsOfTwoWindowsStayApart()
    {
        TestEnvironment env;
        const QString key = u"/chats/team.QLIMChat"_s;
        QWidget chat;
        chat.setObjectName(u"frmMain"_s);
        QWidget viewer;
        viewer.setObjectName(u"frmLogsViewer"_s);
        chat.setGeometry(100, 120, 300, 200);
        viewer.setGeometry(400, 50, 300, 200);
        saveWindowPlacement(&chat, QString(), key);
        saveWindowPlacement(&viewer, QString(), key);

        QWidget chat2;
        chat2.setObjectName(u"frmMain"_s);
        chat2.setGeometry(0, 0, 300, 200);
        restoreWindowPlacement(&chat2, QString(), key);
        QCOMPARE(chat2.pos(), QPoint(100, 120));
        QWidget viewer2;
        viewer2.setObjectName(u"frmLogsViewer"_s);
        restoreWindowPlacement(&viewer2, QString(), key);
        QCOMPARE(viewer2.pos(), QPoint(400, 50));
        QWidget other;
        other.setObjectName(u"frmMain"_s);
        other.move(7, 8);
        restoreWindowPlacement(&other, QString(), u"/chats/other.QLIMChat"_s);
        QCOMPARE(other.pos(), QPoint(7, 8));
    }
};

QTEST_MAIN(TestBoxes)
#include "tst_boxes.moc"
