#include "login/chatselectionwindow.h"

#include "core/support.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/picturebutton.h"
#include "testsupport.h"

#include <QSignalSpy>

using namespace quillet;
using namespace Qt::StringLiterals;

// The chat selection window driven through its buttons; file dialogs and boxes
// are answered through their seams, the chat files and the guard are real.
class tst_ChatSelectionWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QList<BoxRequest> m_boxes;

    // The chat files announced when `button` is pressed and its file dialog
    // answers `path` (an empty one cancels).
    QStringList choose(const QString &button, const QString &path)
    {
        FileDialog::setHandler([path](const FileDialog::Request &) {
            return FileDialog::Reply{!path.isEmpty(), path};
        });
        ChatSelectionWindow window;
        QSignalSpy chosen(&window, &ChatSelectionWindow::chatChosen);
        window.findChild<PictureButton *>(button)->click();
        QStringList paths;
        for (const QList<QVariant> &arguments : chosen)
            paths << arguments.at(0).toString();
        return paths;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_boxes.clear();
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{BoxAnswer::Ok, {}};
        });
    }
    void cleanup()
    {
        FileDialog::resetHandler();
        Boxes::resetHandler();
    }

    void choose_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("existing"); // null: no file there before
        QTest::addColumn<bool>("chosen");
        const QString create = u"ucbCreateChat"_s, open = u"ucbOpenChat"_s;
        QTest::newRow("new") << create << u"chats/Бес\\еда 'a' \"b\" $c .QLIMChat"_s << QString()
                             << true;
        QTest::newRow("existing file emptied")
            << create << u"chats/old.QLIMChat"_s << u"old"_s << true;
        QTest::newRow("folder in the way")
            << create << u"chats/dir.QLIMChat"_s << QString() << false;
        QTest::newRow("any file opened as it is") << open << u"B/notes.txt"_s << u"kept"_s << true;
    }
    // A created chat file holds no text (at most the byte-order mark of one); one
    // that cannot be written is reported, and no chat is chosen.
    void choose()
    {
        QFETCH(QString, button);
        QFETCH(QString, name);
        QFETCH(QString, existing);
        QFETCH(bool, chosen);
        QDir().mkpath(m_env->path(u"chats/dir.QLIMChat"_s));
        if (!existing.isNull())
            m_env->touch(name, existing.toUtf8());
        const QString path = m_env->path(name);
        QCOMPARE(choose(button, path), chosen ? QStringList{path} : QStringList());
        const bool create = button == u"ucbCreateChat"_s;
        QCOMPARE(m_boxes.size(), chosen ? 0 : 1);
        if (chosen) {
            const Result<QString> text = TextFile::readText(path);
            QVERIFY(text.ok() && QFileInfo(path).size() <= (create ? 3 : 4));
            QCOMPARE(text.value(), create ? QString() : existing);
        }
    }
};

QTEST_MAIN(tst_ChatSelectionWindow)
#include "tst_chatselectionwindow.moc"
