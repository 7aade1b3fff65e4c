#include "login/chatselectionwindow.h"

#include "core/appstate.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/picturebutton.h"
#include "testsupport.h"

#include <QSignalSpy>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// No chat is open yet.
void useNoChat()
{
    ChatFilePath.clear();
    ExchangeFolderPath.clear();
}

QString rememberedFolder(const QString &key)
{
    return SettingsStore().loadValue(u"OFN Paths"_s, key, ValueKind::Text).toString();
}

} // namespace

// The chat selection window driven through its buttons; file dialogs and boxes
// are answered through their seams, the chat files and the guard are real.
class tst_ChatSelectionWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QList<FileDialog::Request> m_dialogs;
    QList<BoxRequest> m_boxes;

    // The file dialogs answer with these paths; an empty one cancels.
    void answerDialogs(QStringList paths)
    {
        FileDialog::setHandler([this, paths](const FileDialog::Request &request) mutable {
            m_dialogs.append(request);
            const QString path = paths.isEmpty() ? QString() : paths.takeFirst();
            return FileDialog::Reply{!path.isEmpty(), path};
        });
    }

    // The chat files announced when `button` is pressed.
    QStringList choose(const QString &button, const QString &path)
    {
        answerDialogs({path});
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
        useNoChat();
        m_dialogs.clear();
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
        m_env.reset();
    }

    void create_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("existing"); // null: no file there before
        QTest::addColumn<bool>("created");
        QTest::newRow("new") << u"chats/Бес\\еда 'a' \"b\" $c .QLIMChat"_s << QString() << true;
        QTest::newRow("no extension added") << u"chats/Беседа"_s << QString() << true;
        QTest::newRow("existing file emptied") << u"chats/old.QLIMChat"_s << u"old"_s << true;
        QTest::newRow("cancelled") << QString() << QString() << false;
        QTest::newRow("missing folder") << u"missing/a.QLIMChat"_s << QString() << false;
        QTest::newRow("file as folder") << u"plain/a.QLIMChat"_s << QString() << false;
        QTest::newRow("folder in the way") << u"chats/dir.QLIMChat"_s << QString() << false;
    }
    // A created chat file holds no text (at most the byte-order mark of one);
    // one that cannot be written is reported, and no chat is chosen.
    void create()
    {
        QFETCH(QString, name);
        QFETCH(QString, existing);
        QFETCH(bool, created);
        QDir().mkpath(m_env->path(u"chats/dir.QLIMChat"_s));
        m_env->touch(u"plain"_s, "a file");
        if (!existing.isNull())
            m_env->touch(name, existing.toUtf8());
        const QString path = name.isEmpty() ? QString() : m_env->path(name);
        QCOMPARE(choose(u"ucbCreateChat"_s, path), created ? QStringList{path} : QStringList());
        QCOMPARE(m_dialogs.at(0).mode, FileDialog::Mode::Save);
        QCOMPARE(rememberedFolder(u"Laste Create File Directory"_s),
                 path.isEmpty() ? QString() : parentFolder(path));
        QCOMPARE(m_boxes.size(), created || path.isEmpty() ? 0 : 1);
        if (created) {
            const Result<QString> text = TextFile::readText(path);
            QVERIFY(text.ok() && text.value().isEmpty() && QFileInfo(path).size() <= 3);
        } else if (!path.isEmpty()) {
            QVERIFY(m_boxes.at(0).text.startsWith(u"Не удалось создать файл чата.\r\n\r\nКод "_s));
        }
    }

    // Any file may be opened as a chat and is left as it is; each button then
    // offers the folder it was last used in.
    void openAnyFile()
    {
        const QString opened = m_env->touch(u"B/notes.txt"_s, "kept as it is");
        QCOMPARE(choose(u"ucbOpenChat"_s, opened), QStringList{opened});
        QCOMPARE(m_dialogs.at(0).mode, FileDialog::Mode::Open);
        QCOMPARE(TestEnvironment::readAll(opened), u"kept as it is"_s);
        QCOMPARE(choose(u"ucbOpenChat"_s, QString()), QStringList());
        QCOMPARE(m_dialogs.at(1).initialFolder, parentFolder(opened));
        QVERIFY(m_boxes.isEmpty());
    }
};

QTEST_MAIN(tst_ChatSelectionWindow)
#include "tst_chatselectionwindow.moc"
