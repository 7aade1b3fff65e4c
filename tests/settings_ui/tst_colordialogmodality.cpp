#include "gui/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// A window as the chat window or the settings window: a button and a text box.
struct Window
{
    QWidget *widget = nullptr;
    QPushButton *button = nullptr;
    QLineEdit *text = nullptr;

    void create(QWidget *window)
    {
        widget = window;
        widget->resize(300, 120);
        button = new QPushButton(u"Кнопка"_s, widget);
        button->setGeometry(10, 10, 100, 30);
        text = new QLineEdit(widget);
        text->setGeometry(10, 60, 200, 25);
    }
    QPoint buttonCentre() const { return button->geometry().center(); }
};

} // namespace

// The real colour dialog over the settings window, driven through the window
// system's input path where Qt applies modality.
class TestColorDialogModality final : public QObject
{
    Q_OBJECT

private slots:
    void blocksItsOwnerOnly()
    {
        QWidget chatWidget;
        Window chat;
        chat.create(&chatWidget);
        auto *settingsDialog = new QDialog(&chatWidget); // owned as the settings window is
        Window settings;
        settings.create(settingsDialog);
        chatWidget.show();
        settingsDialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(&chatWidget));
        QVERIFY(QTest::qWaitForWindowExposed(settingsDialog));
        QSignalSpy chatClicks(chat.button, &QPushButton::clicked);
        QSignalSpy settingsClicks(settings.button, &QPushButton::clicked);

        bool shown = false;
        bool ownerStayed = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = settingsDialog->findChild<QColorDialog *>();
            shown = dialog && dialog->isVisible();
            QTest::mouseClick(chatWidget.windowHandle(), Qt::LeftButton, {}, chat.buttonCentre());
            chat.text->setFocus();
            for (char key : {'a', 'b', 'c'})
                QTest::keyClick(chatWidget.windowHandle(), key);
            QTest::mouseClick(settingsDialog->windowHandle(), Qt::LeftButton, {},
                              settings.buttonCentre());
            settings.text->setFocus();
            for (char key : {'x', 'y', 'z'})
                QTest::keyClick(settingsDialog->windowHandle(), key);
            QTest::keyClick(settingsDialog->windowHandle(), Qt::Key_Escape);
            ownerStayed = settingsDialog->isVisible();
            if (dialog) {
                dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
                dialog->accept();
            }
        });
        ColorDialog colours;
        colours.setOwnerWindow(settingsDialog);
        colours.setColor(0);
        QVERIFY(colours.exec());
        QVERIFY(shown);
        QVERIFY(ownerStayed);
        QCOMPARE(colours.color(), 0x563412);

        QCOMPARE(chatClicks.count(), 1);
        QCOMPARE(chat.text->text(), u"abc"_s);
        QCOMPARE(settingsClicks.count(), 0);
        QCOMPARE(settings.text->text(), QString());
        QVERIFY(settingsDialog->isVisible());
        // Once the colour dialog is closed the settings window takes input again.
        QTest::mouseClick(settingsDialog->windowHandle(), Qt::LeftButton, {},
                          settings.buttonCentre());
        QCOMPARE(settingsClicks.count(), 1);
    }
};

// The colour dialog counts as cancelled on the offscreen platform, where nobody
// could answer it; the minimal platform shows it as a desktop would.
int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "minimal");
    QApplication app(argc, argv);
    TestColorDialogModality test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_colordialogmodality.moc"
