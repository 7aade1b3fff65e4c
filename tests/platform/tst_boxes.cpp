#include "gui/boxes.h"
#include "gui/placement.h"
#include "testenv.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace quillet;

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
        const QString text = QStringLiteral("/home/a/<b>chat</b> &lt;1&gt;.QLIMChat");
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
        QCOMPARE(Boxes::message(nullptr, text + QStringLiteral("\r\n\r\nФайл не существует."),
                                (BoxStyle{BoxButtons::Ok, BoxIcon::Stop})),
                 BoxAnswer::Ok);
        QCOMPARE(boxFormat, Qt::PlainText);
        QCOMPARE(plainLabels, QStringList{text + QStringLiteral("\n\nФайл не существует.")});

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
            dialog->setTextValue(QStringLiteral("<i>Семья</i>"));
            dialog->accept();
        });
        QCOMPARE(Boxes::input(nullptr, text, QStringLiteral("offer")),
                 QStringLiteral("<i>Семья</i>"));
        QCOMPARE(plainLabels, QStringList{text});

        onNextModal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
        QCOMPARE(Boxes::input(nullptr, text, QStringLiteral("offer")), QString());
    }

    void handlerAnswersAndSeesEveryBox()
    {
        QList<BoxRequest> seen;
        Boxes::setHandler([&](const BoxRequest &r) {
            seen.append(r);
            return BoxReply{BoxAnswer::Retry, QStringLiteral("Семья")};
        });
        QCOMPARE(Boxes::message(nullptr, QStringLiteral("t"), (BoxStyle{BoxButtons::AbortRetryIgnore, BoxIcon::Stop})),
                 BoxAnswer::Retry);
        QCOMPARE(Boxes::input(nullptr, QStringLiteral("p"), QStringLiteral("o")),
                 QStringLiteral("Семья"));
        Boxes::showError(nullptr, Error::fromErrno(ENOSPC), BoxStyle{BoxButtons::Ok, BoxIcon::Stop}, QStringLiteral("Не удалось."));
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0].style.number(), 18);
        QCOMPARE(seen[1].kind, BoxRequest::Kind::Input);
        QCOMPARE(seen[1].offered, QStringLiteral("o"));
        QCOMPARE(seen[2].text,
                 QStringLiteral("Не удалось.\r\n\r\nКод %1\r\nНа диске нет места.").arg(ENOSPC));
        Boxes::resetHandler();
    }

    void environmentLogAndAnswers()
    {
        TestEnvironment env;
        const QString log = env.path(QStringLiteral("boxes.log"));
        qputenv("QUILLET_BOX_LOG", log.toUtf8());
        qputenv("QUILLET_BOX_ANSWERS", "7");
        Boxes::installFromEnvironment();
        QCOMPARE(Boxes::message(nullptr, QStringLiteral("a\r\nb"), BoxStyle{BoxButtons::YesNoCancel}), BoxAnswer::No);
        QCOMPARE(Boxes::message(nullptr, QStringLiteral("c"), BoxStyle{BoxButtons::AbortRetryIgnore}), BoxAnswer::Abort);
        QCOMPARE(Boxes::input(nullptr, QStringLiteral("p"), QStringLiteral("offer")),
                 QStringLiteral("offer"));
        QCOMPARE(TestEnvironment::readAll(log),
                 QStringLiteral("3\ta\\r\\nb\t\n2\tc\t\ninput\tp\toffer\n"));
        qunsetenv("QUILLET_BOX_LOG");
        qunsetenv("QUILLET_BOX_ANSWERS");
        Boxes::resetHandler();
    }

    void placementsOfTwoWindowsStayApart()
    {
        TestEnvironment env;
        const QString key = QStringLiteral("/chats/team.QLIMChat");
        QWidget chat;
        chat.setObjectName(QStringLiteral("frmMain"));
        QWidget viewer;
        viewer.setObjectName(QStringLiteral("frmLogsViewer"));
        chat.setGeometry(100, 120, 300, 200);
        viewer.setGeometry(400, 50, 300, 200);
        saveWindowPlacement(&chat, QString(), key);
        saveWindowPlacement(&viewer, QString(), key);

        QWidget chat2;
        chat2.setObjectName(QStringLiteral("frmMain"));
        chat2.setGeometry(0, 0, 300, 200);
        restoreWindowPlacement(&chat2, QString(), key);
        QCOMPARE(chat2.pos(), QPoint(100, 120));
        QWidget viewer2;
        viewer2.setObjectName(QStringLiteral("frmLogsViewer"));
        restoreWindowPlacement(&viewer2, QString(), key);
        QCOMPARE(viewer2.pos(), QPoint(400, 50));
        QWidget other;
        other.setObjectName(QStringLiteral("frmMain"));
        other.move(7, 8);
        restoreWindowPlacement(&other, QString(), QStringLiteral("/chats/other.QLIMChat"));
        QCOMPARE(other.pos(), QPoint(7, 8));
    }
};

QTEST_MAIN(TestBoxes)
#include "tst_boxes.moc"
