#include "chatwindow/chatwindow.h"
#include "core/chatcontext.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "login/chatselectionwindow.h"
#include "logsviewer/logsviewer.h"
#include "settings/settings.h"
#include "settings/settingsdialog.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTextEdit>

// Run once per screen: CTest starts this test at 96, 120 and 144 dpi and at a
// scale factor of 1.5, and each window is checked in the desktop's font and in
// a larger one.

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString MyGuid = u"{11111111-2222-3333-4444-555555555555}"_s;

bool insideScrollArea(const QWidget *widget, const QWidget *window)
{
    for (const QWidget *up = widget->parentWidget(); up && up != window; up = up->parentWidget())
        if (qobject_cast<const QAbstractScrollArea *>(up))
            return true;
    return false;
}

QString textOf(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    return {};
}

QString describe(const QWidget *widget)
{
    return widget->objectName() + u" \""_s + textOf(widget).left(40) + u"\""_s;
}

// A widget that the window lays out: a control, a text or a view, but not a
// container of other laid-out widgets.
bool isLaidOut(const QWidget *widget, const QWidget *window)
{
    if (!widget->isVisibleTo(window) || insideScrollArea(widget, window))
        return false;
    if (qobject_cast<const QAbstractScrollArea *>(widget))
        return true;
    const auto children = widget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    return std::none_of(children.begin(), children.end(),
                        [window](const QWidget *child) { return child->isVisibleTo(window); });
}

// Texts that do not get the room they need, widgets lying on each other or
// reaching out of the window.
QStringList layoutFaults(QWidget *window)
{
    const auto sizeText = [](QSize s) { return u"%1x%2"_s.arg(s.width()).arg(s.height()); };
    QStringList faults;
    QList<QWidget *> laidOut;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!isLaidOut(widget, window))
            continue;
        laidOut.append(widget);
        if (!window->rect().contains(QRect(widget->mapTo(window, QPoint()), widget->size())))
            faults << describe(widget) + u" reaches out of the window"_s;
        if (textOf(widget).isEmpty())
            continue;
        const auto *label = qobject_cast<QLabel *>(widget);
        const QSize need = widget->sizeHint();
        if (label && label->wordWrap()) {
            if (label->heightForWidth(widget->width()) > widget->height())
                faults << describe(widget) + u" loses a line"_s;
        } else if (widget->width() < need.width() || widget->height() < need.height()) {
            faults << describe(widget) + u" is cut: "_s + sizeText(widget->size()) + u" for "_s +
                          sizeText(need);
        }
    }
    for (qsizetype i = 0; i < laidOut.size(); ++i)
        for (qsizetype j = i + 1; j < laidOut.size(); ++j)
            if (laidOut[i]->parentWidget() == laidOut[j]->parentWidget() &&
                laidOut[i]->geometry().intersects(laidOut[j]->geometry()))
                faults << describe(laidOut[i]) + u" overlaps "_s + describe(laidOut[j]);
    return faults;
}

} // namespace

class tst_WindowLayouts final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    ChatContext m_chat;
    QFont m_desktopFont;
    QList<BoxRequest> m_boxes;

    std::unique_ptr<ChatWindow> openChatWindow()
    {
        auto window = std::make_unique<ChatWindow>(m_chat);
        window->startSession();
        return window;
    }

    void checkFits(QWidget *window)
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QStringList faults = layoutFaults(window);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u"; "_s)));
    }

    // A larger window gives all the room it gains to the view, and its texts still fit.
    void checkRoomGoesTo(QWidget *view, QWidget *window, QSize more)
    {
        const QSize before = view->size();
        window->resize(window->size() + more);
        QTRY_COMPARE(view->size(), before + more);
        checkFits(window);
    }

private slots:
    // Every test runs in the desktop's font and in a larger one.
    void initTestCase_data()
    {
        m_desktopFont = QApplication::font();
        QTest::addColumn<int>("pointSize");
        QTest::newRow("desktop font") << 0;
        QTest::newRow("larger font") << 14;
    }

    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        const QString chatFile = m_env->touch(u"chats/team.QLIMChat"_s);
        m_chat = {chatFile, parentFolder(chatFile), MyGuid};
        appSettings() = SettingsRecord{};
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{BoxAnswer::Ok, {}};
        });
        QFETCH_GLOBAL(int, pointSize);
        QFont font = m_desktopFont;
        if (pointSize > 0)
            font.setPointSize(pointSize);
        QApplication::setFont(font);
    }

    void cleanup()
    {
        delete SettingsDialog::instance();
        delete LogsViewer::instance();
        QApplication::setFont(m_desktopFont);
        Boxes::resetHandler();
        QVERIFY2(std::exchange(m_boxes, {}).isEmpty(), "an unexpected box");
    }

    // The texts fit at the window's smallest size; a larger window gives its
    // room to the conversation, and its size is stored with its place.
    void chatWindow()
    {
        auto window = openChatWindow();
        checkFits(window.get());
        QCOMPARE(window->size(), window->minimumSizeHint());

        checkRoomGoesTo(window->findChild<QTextEdit *>(u"rtfLog"_s), window.get(), {200, 150});

        const QSize grown = window->size();
        window->move(40, 50);
        const QPoint place = window->pos();
        window->close();
        QVERIFY(!window->sessionRunning());
        window = openChatWindow();
        QCOMPARE(window->size(), grown);
        QCOMPARE(window->pos(), place);
        window->close();
    }

    void settingsAndChatSelection()
    {
        showSettingsDialog(nullptr, m_chat);
        QVERIFY(SettingsDialog::instance());
        checkFits(SettingsDialog::instance());
        ChatSelectionWindow window;
        checkFits(&window);
    }

    void logsViewer()
    {
        showLogsViewer(m_chat.chatFile);
        LogsViewer *viewer = LogsViewer::instance();
        QVERIFY(viewer);
        checkFits(viewer);
        const QSize closed = viewer->size();
        QTest::keyClick(viewer, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(viewer->isSearchOpen());
        checkFits(viewer);
        QTest::keyClick(viewer, Qt::Key_Escape);
        QTRY_COMPARE(viewer->size(), closed);

        // Room the window gets goes to the list and the log.
        checkRoomGoesTo(viewer->findChild<QTextEdit *>(u"rtfLog"_s), viewer, {120, 90});
        viewer->close();
    }
};

QTEST_MAIN(tst_WindowLayouts)
#include "tst_windowlayouts.moc"
