#include "core/settingsstore.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "settings/colorbutton.h"
#include "settings/settings.h"
#include "settings/settingsdialog.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

// The settings dialog driven through its real widgets; colour dialogs and
// boxes are answered through their seams.
class TestFrmSettings : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QWidget> m_owner;
    QList<ColorDialog::Request> m_colorRequests;

    SettingsDialog *open()
    {
        showSettingsDialog(m_owner.get());
        SettingsDialog *window = SettingsDialog::instance();
        if (window)
            (void)QTest::qWaitForWindowExposed(window);
        return window;
    }

    template <class W> static W *child(QWidget *window, const char *name)
    {
        return window->findChild<W *>(QLatin1String(name));
    }

    static void click(QWidget *window, const char *name)
    {
        QTest::mouseClick(child<QAbstractButton>(window, name), Qt::LeftButton);
    }

    // Settings as a new start of the program reads them from the store.
    static SettingsRecord stored()
    {
        const SettingsRecord running = appSettings();
        loadSettings();
        const SettingsRecord result = appSettings();
        appSettings() = running;
        return result;
    }

    static QString storedCustomColors()
    {
        return SettingsStore()
            .loadValue(u"Colors"_s, u"Custom Colors"_s, ValueKind::Text, QString())
            .toString();
    }

    void answerColorDialog(bool confirmed, qint32 color, const QString &custom)
    {
        ColorDialog::setHandler([this, confirmed, color, custom](const ColorDialog::Request &r) {
            m_colorRequests.append(r);
            return ColorDialog::Reply{confirmed, color, custom};
        });
    }

    static void waitClosed()
    {
        QTRY_VERIFY(!SettingsDialog::instance());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        appSettings() = SettingsRecord{};
        m_owner = std::make_unique<QWidget>();
        m_owner->setWindowTitle(u"Quillet IM :: owner"_s);
        m_owner->show();
        m_colorRequests.clear();
        Boxes::setHandler([](const BoxRequest &request) {
            qWarning("unexpected box: %s", qPrintable(request.text));
            return BoxReply{BoxAnswer::Cancel, {}};
        });
    }

    void cleanup()
    {
        if (SettingsDialog *window = SettingsDialog::instance())
            window->reject();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_owner.reset();
        ColorDialog::resetHandler();
        Boxes::resetHandler();
        m_env.reset();
    }

    void windowIsOwnedAndNotModal()
    {
        SettingsDialog *window = open();
        QCOMPARE(window->windowTitle(), u"Настройки"_s);
        QCOMPARE(window->size(), QSize(401, 361));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->parentWidget(), m_owner.get());
        QVERIFY(!window->isModal());
        QVERIFY(child<QPushButton>(window, "cmdOk")->isDefault());
        QVERIFY(child<QLabel>(window, "lblTag3")->wordWrap());
        // The chat window takes the settings window with it.
        m_owner.reset();
        QVERIFY(!SettingsDialog::instance());
    }

    void widgetsShowSettings()
    {
        appSettings().sendOnEnter = true;
        appSettings().timeStamps = false;
        appSettings().showDebugMessages = true;
        appSettings().messageColor = 0x0000FF;  // red
        appSettings().systemColor = 0x00FF0000; // blue
        SettingsDialog *window = open();
        QVERIFY(child<QCheckBox>(window, "chkSendOnEnter")->isChecked());
        QVERIFY(!child<QCheckBox>(window, "chkiChatStylePlugin")->isChecked());
        QVERIFY(child<QCheckBox>(window, "chkNameOnSeparateLine")->isChecked());
        QVERIFY(child<QCheckBox>(window, "chkShowDebugMessages")->isChecked());
        auto *message = child<ColorButton>(window, "cmdMessageColor");
        auto *system = child<ColorButton>(window, "cmdSystemColor");
        QCOMPARE(message->color(), 0x0000FF);
        QVERIFY(message->isFlat());
        QVERIFY(message->text().isEmpty());
        // The face of the button shows the colour in the program's layout.
        const QImage face = message->grab().toImage();
        QCOMPARE(face.pixelColor(face.rect().center()), QColor(255, 0, 0));
        const QImage blue = system->grab().toImage();
        QCOMPARE(blue.pixelColor(blue.rect().center()), QColor(0, 0, 255));
    }

    void okStoresAndCloses()
    {
        SettingsDialog *window = open();
        click(window, "chkSendOnEnter");
        click(window, "chkSortLogsList");
        click(window, "cmdOk");
        waitClosed();
        QCOMPARE(appSettings().sendOnEnter, true);
        QCOMPARE(appSettings().sortLogsList, false);
        QCOMPARE(stored().sendOnEnter, true);
        QCOMPARE(stored().sortLogsList, false);
    }

    void applyThenCancelKeepsTheAppliedValues()
    {
        SettingsDialog *window = open();
        click(window, "chkSendOnEnter");
        click(window, "chkNameOnSeparateLine");
        click(window, "cmdApply");
        QVERIFY(SettingsDialog::instance());
        QCOMPARE(appSettings().sendOnEnter, true);
        QCOMPARE(appSettings().nameOnSeparateLine, false);
        click(window, "chkShowDebugMessages");
        click(window, "cmdCancel");
        waitClosed();
        QCOMPARE(appSettings().sendOnEnter, true);
        QCOMPARE(appSettings().nameOnSeparateLine, false);
        QCOMPARE(appSettings().showDebugMessages, false);
        const SettingsRecord fromStore = stored();
        QCOMPARE(fromStore.sendOnEnter, true);
        QCOMPARE(fromStore.nameOnSeparateLine, false);
        QCOMPARE(fromStore.showDebugMessages, false);
    }

    void enterOnACheckBoxDoesOk_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
    }

    void enterOnACheckBoxDoesOk()
    {
        QFETCH(int, key);
        SettingsDialog *window = open();
        auto *box = child<QCheckBox>(window, "chkSortLogsDescending");
        click(window, "chkSortLogsDescending");
        box->setFocus();
        QTest::keyClick(box, Qt::Key(key));
        waitClosed();
        QCOMPARE(appSettings().sortLogsDescending, false);
        QCOMPARE(stored().sortLogsDescending, false);
    }

    void escapeDoesCancel_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::newRow("check box") << u"chkSendOnEnter"_s;
        QTest::newRow("colour button") << u"cmdMyNameColor"_s;
        QTest::newRow("apply button") << u"cmdApply"_s;
        QTest::newRow("autostart button") << u"cmdAddToAutorun"_s;
    }

    void escapeDoesCancel()
    {
        QFETCH(QString, focused);
        SettingsDialog *window = open();
        click(window, "chkSendOnEnter");
        QWidget *widget = window->findChild<QWidget *>(focused);
        widget->setFocus();
        QTest::keyClick(widget, Qt::Key_Escape);
        waitClosed();
        QCOMPARE(appSettings().sendOnEnter, false);
        QVERIFY(!QFileInfo::exists(SettingsStore::filePath()) || !stored().sendOnEnter);
    }

    void closeBoxDiscardsEdits()
    {
        SettingsDialog *window = open();
        click(window, "chkSendOnEnter");
        QVERIFY(window->close());
        waitClosed();
        QCOMPARE(appSettings().sendOnEnter, false);
    }

    // F9 or the settings button while the window is open: the same window, edits kept.
    void showingAgainKeepsUnsavedEdits()
    {
        SettingsDialog *window = open();
        click(window, "chkSendOnEnter");
        QPointer<SettingsDialog> first = window;
        QCOMPARE(open(), first.data());
        QVERIFY(child<QCheckBox>(window, "chkSendOnEnter")->isChecked());
        QCOMPARE(appSettings().sendOnEnter, false);
    }

    void reopeningAfterCancelShowsSettings()
    {
        SettingsDialog *window = open();
        click(window, "chkSendOnEnter");
        click(window, "cmdCancel");
        waitClosed();
        window = open();
        QVERIFY(window);
        QVERIFY(!child<QCheckBox>(window, "chkSendOnEnter")->isChecked());
    }

    void confirmedColourThenCancelSavesOnlyCustomColours()
    {
        const QString custom = u"255,65280,16711680,0,0,0,0,0,0,0,0,0,0,0,0,1"_s;
        answerColorDialog(true, 0x00123456, custom);
        SettingsDialog *window = open();
        auto *button = child<ColorButton>(window, "cmdMyNameColor");
        click(window, "cmdMyNameColor");
        QCOMPARE(m_colorRequests.size(), 1);
        QCOMPARE(m_colorRequests[0].color, 0x008000);
        QCOMPARE(m_colorRequests[0].customColors, QString()); // first run: empty text
        QCOMPARE(m_colorRequests[0].owner, window);
        QCOMPARE(button->color(), 0x00123456);
        QCOMPARE(storedCustomColors(), custom);

        click(window, "cmdCancel");
        waitClosed();
        QCOMPARE(appSettings().myNameColor, 0x008000);
        QCOMPARE(stored().myNameColor, 0x008000);
        QCOMPARE(storedCustomColors(), custom);
    }

    void confirmedCustomColoursAreOfferedToTheNextDialog()
    {
        answerColorDialog(true, 0x000000FF, u"1,2,3"_s);
        SettingsDialog *window = open();
        click(window, "cmdMessageColor");
        click(window, "cmdSystemColor");
        QCOMPARE(m_colorRequests.size(), 2);
        QCOMPARE(m_colorRequests[1].customColors, u"1,2,3"_s);
        QCOMPARE(m_colorRequests[1].color, 0x0000FF);
        click(window, "cmdOk");
        waitClosed();
        QCOMPARE(stored().messageColor, 0x0000FF);
    }

    void cancelledColourDialogChangesNothing()
    {
        const QString before = u"10,20,30"_s;
        QVERIFY(SettingsStore()
                    .saveValue(u"Colors"_s, u"Custom Colors"_s, ValueKind::Text, before)
                    .ok());
        answerColorDialog(false, 0x00ABCDEF, u"99,98,97"_s);
        SettingsDialog *window = open();
        click(window, "cmdOtherNameColor");
        QCOMPARE(m_colorRequests.size(), 1);
        QCOMPARE(m_colorRequests[0].customColors, before);
        QCOMPARE(child<ColorButton>(window, "cmdOtherNameColor")->color(), 0xFF0080);
        QCOMPARE(storedCustomColors(), before);
        click(window, "cmdOk");
        waitClosed();
        QCOMPARE(appSettings().otherNameColor, 0xFF0080);
    }

    // A colour stays visible against the dialog whatever it is, and a screen
    // reader tells the four captionless buttons apart.
    void colourButtonsShowAnEdgeAndAName_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::newRow("white") << QColor(Qt::white);
        QTest::newRow("black") << QColor(Qt::black);
        QTest::newRow("dialog's own grey") << QApplication::palette().color(QPalette::Window);
    }
    void colourButtonsShowAnEdgeAndAName()
    {
        QFETCH(QColor, colour);
        appSettings().messageColor = rgbValueFromColor(colour);
        SettingsDialog *window = open();
        auto *button = child<ColorButton>(window, "cmdMessageColor");
        const QImage face = button->grab().toImage();
        const int middle = face.height() / 2;
        QCOMPARE(QColor(face.pixel(face.width() / 2, middle)), colour);
        const QColor background = window->palette().color(QPalette::Window);
        bool edge = false;
        for (int x : {0, 1}) {
            const QColor pixel(face.pixel(x, middle));
            edge = edge || (pixel != colour && pixel != background);
        }
        QVERIFY2(edge, qPrintable(colour.name()));

        QStringList names;
        for (const char *name :
             {"cmdMessageColor", "cmdMyNameColor", "cmdOtherNameColor", "cmdSystemColor"}) {
            QAccessibleInterface *accessible =
                QAccessible::queryAccessibleInterface(child<ColorButton>(window, name));
            QCOMPARE(accessible->role(), QAccessible::Button);
            QVERIFY(!accessible->text(QAccessible::Name).isEmpty());
            names.append(accessible->text(QAccessible::Name));
        }
        names.removeDuplicates();
        QCOMPARE(names.size(), 4);
    }

    // A store that cannot be written: OK reports it and leaves the window open.
    void failedSaveIsReportedAndWindowStays()
    {
        QList<BoxRequest> boxes;
        Boxes::setHandler([&boxes](const BoxRequest &request) {
            boxes.append(request);
            return BoxReply{BoxAnswer::Ok, {}};
        });
        SettingsDialog *window = open();
        click(window, "chkSendOnEnter");
        QDir().mkpath(SettingsStore::filePath()); // a folder where the file belongs
        click(window, "cmdOk");
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].style, (BoxStyle{BoxButtons::Ok, BoxIcon::Stop}));
        QVERIFY(boxes[0].text.startsWith(u"Не удалось сохранить настройки.\r\n"_s));
        QCOMPARE(SettingsDialog::instance(), window);
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(TestFrmSettings)
#include "tst_frmsettings.moc"
