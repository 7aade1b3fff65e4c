#include "core/appstate.h"
#include "gui/boxes.h"
#include "settings/autostart.h"
#include "settings/desktopentryreader.h"
#include "settings/settingsdialog.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

// The autostart button of the settings dialog: the name question loop, the
// entry written, and the reports, with every box answered by a script.
class TestAutorun : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QWidget> m_owner;
    QStringList m_answers;
    QStringList m_events;
    QList<BoxRequest> m_boxes;

    QString autostart() const { return m_env->path(u"config/autostart"_s); }

    // Answers the boxes from m_answers ("yes", "no", "cancel", "input:<text>") and
    // notes each box as "question:<entry name>", "input:<offered>", "done" or "error".
    BoxReply answer(const BoxRequest &request)
    {
        m_boxes.append(request);
        if (request.kind == BoxRequest::Kind::Input) {
            m_events.append(u"input:"_s + request.offered);
            const QString next = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
            return {BoxAnswer::Ok, next.mid(next.indexOf(':'_L1) + 1)};
        }
        if (request.style == BoxStyle{BoxButtons::YesNoCancel, BoxIcon::Warning}) {
            const QString path = request.text.section(u"\r\n"_s, 0, 0);
            m_events.append(u"question:"_s + path.mid(path.lastIndexOf('/'_L1) + 1));
            const QString next = m_answers.isEmpty() ? u"cancel"_s : m_answers.takeFirst();
            return {next == "yes"_L1  ? BoxAnswer::Yes
                    : next == "no"_L1 ? BoxAnswer::No
                                      : BoxAnswer::Cancel,
                    {}};
        }
        m_events.append(request.style == BoxStyle{BoxButtons::Ok, BoxIcon::Information}
                            ? u"done"_s
                            : u"error"_s);
        return {BoxAnswer::Ok, {}};
    }

    void pressAutostartButton()
    {
        showSettingsDialog(m_owner.get());
        QWidget *window = SettingsDialog::instance();
        QTest::mouseClick(window->findChild<QAbstractButton *>(u"cmdAddToAutorun"_s),
                          Qt::LeftButton);
        QCOMPARE(SettingsDialog::instance(), window); // the dialog stays open throughout
    }

    static QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // The entry starts this program hidden with the current chat.
    void verifyEntry(const QString &path, const QString &name)
    {
        const auto keys = DesktopEntryReader::readEntry(path);
        QVERIFY(keys.has_value());
        QCOMPARE(keys->value(u"Name"_s), name);
        QCOMPARE(keys->value(u"Path"_s), ExchangeFolderPath);
        QCOMPARE(keys->value(u"Icon"_s), u"quillet-im"_s);
        const auto exec = DesktopEntryReader::splitExec(keys->value(u"Exec"_s));
        QVERIFY(exec.has_value());
        QCOMPARE(*exec,
                 (QStringList{QCoreApplication::applicationFilePath(), u"/H"_s, ChatFilePath}));
        const QString complaints = DesktopEntryReader::validate(path);
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        ExchangeFolderPath = m_env->chats() + u"/Чат \"$HOME\" `id` 100% \\n"_s;
        ChatFilePath = ExchangeFolderPath + u"/Беседа.QLIMChat"_s;
        m_owner = std::make_unique<QWidget>();
        m_answers.clear();
        m_events.clear();
        m_boxes.clear();
        Boxes::setHandler([this](const BoxRequest &request) { return answer(request); });
    }

    void cleanup()
    {
        m_owner.reset();
        Boxes::resetHandler();
        ChatFilePath.clear();
        ExchangeFolderPath.clear();
        m_env.reset();
    }

    void nameQuestionLoop_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("written");
        const QString chat = u"Беседа.QLIMChat.desktop"_s;
        const QString family = u"Семья.desktop"_s;
        const QString asked = u"question:"_s + chat;
        const QString offered = u"input:Беседа.QLIMChat"_s;
        const QString done = u"done"_s;
        QTest::newRow("free name") << QStringList{} << QStringList{} << QStringList{done} << chat;
        QTest::newRow("yes replaces")
            << QStringList{chat} << QStringList{u"yes"_s} << QStringList{asked, done} << chat;
        QTest::newRow("no with the same name asks again")
            << QStringList{chat} << QStringList{u"no"_s, u"input:Беседа.QLIMChat"_s, u"cancel"_s}
            << QStringList{asked, offered, asked} << QString();
        QTest::newRow("no with another name")
            << QStringList{chat} << QStringList{u"no"_s, u"input:Семья"_s}
            << QStringList{asked, offered, done} << family;
        QTest::newRow("no, that name exists too")
            << QStringList{chat, family}
            << QStringList{u"no"_s, u"input:Семья"_s, u"no"_s, u"input:Работа"_s}
            << QStringList{asked, offered, u"question:"_s + family, u"input:Семья"_s, done}
            << u"Работа.desktop"_s;
        QTest::newRow("no, empty answer") << QStringList{chat} << QStringList{u"no"_s, u"input:"_s}
                                          << QStringList{asked, offered} << QString();
        QTest::newRow("cancel") << QStringList{chat} << QStringList{u"cancel"_s}
                                << QStringList{asked} << QString();
        QTest::newRow("a name leading out of the folder")
            << QStringList{chat} << QStringList{u"no"_s, u"input:../../evil"_s}
            << QStringList{asked, offered, u"error"_s} << QString();
    }

    void nameQuestionLoop()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, events);
        QFETCH(QString, written);
        for (const QString &name : existing)
            m_env->touch(u"config/autostart/"_s + name, "old");
        m_answers = answers;
        pressAutostartButton();
        QCOMPARE(m_events, events);
        QVERIFY(m_answers.isEmpty());

        QStringList expected = existing;
        if (!written.isEmpty() && !expected.contains(written))
            expected.append(written);
        expected.sort();
        QCOMPARE(entries(autostart()), expected);
        for (const QString &name : existing) {
            if (name != written)
                QCOMPARE(TestEnvironment::readAll(autostart() + '/'_L1 + name), u"old"_s);
        }
        if (!written.isEmpty())
            verifyEntry(autostart() + '/'_L1 + written, written.chopped(8));
        QCOMPARE(entries(m_env->path(u"config"_s)), QStringList{});
        QVERIFY(!QFileInfo::exists(m_env->path(u"evil.desktop"_s)));
    }

    void questionAndReportTexts()
    {
        m_env->touch(u"config/autostart/Беседа.QLIMChat.desktop"_s, "old");
        m_answers = QStringList{u"yes"_s};
        pressAutostartButton();
        QCOMPARE(m_boxes.size(), 2);
        const QString path = autostart() + u"/Беседа.QLIMChat.desktop"_s;
        QCOMPARE(m_boxes[0].style.number(), 51);
        QCOMPARE(m_boxes[0].text.split(u"\r\n"_s),
                 (QStringList{path, QString(),
                              u"Ярлык уже существует. Возможно, данный чат уже "
                              "добавлен в автозагрузку, а может быть просто имена "
                              "файлов совпали."_s,
                              QString(), u"Заменить существующий ярлык?"_s, QString(),
                              u"Да     - заменить."_s, u"Нет    - задать новое имя файла."_s,
                              u"Отмена - не создавать ничего."_s}));
        QCOMPARE(m_boxes[1].style.number(), 64);
        QCOMPARE(m_boxes[1].text, u"Готово! ^_^v"_s);
    }

    void inputBoxPrompt()
    {
        m_env->touch(u"config/autostart/Беседа.QLIMChat.desktop"_s, "old");
        m_answers = QStringList{u"no"_s, u"input:"_s};
        pressAutostartButton();
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_boxes[1].kind, BoxRequest::Kind::Input);
        QCOMPARE(m_boxes[1].text,
                 u"Введите новое имя для ярлыка, который будет помещён в автозагрузку."_s);
    }

    void failureIsReported()
    {
        m_env->touch(u"config/autostart"_s, "a file, not a folder");
        pressAutostartButton();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].style.number(), 16);
        QVERIFY2(m_boxes[0].text.startsWith(
                     u"Не удалось создать ярлык.\r\n\r\nКод %1\r\n"_s.arg(ENOTDIR)),
                 qPrintable(m_boxes[0].text));
    }

    void emptyTargetOrPathDoesNothing()
    {
        createAutostartEntry(nullptr, QString(), u"/bin/q"_s, {}, {}, {}, {});
        createAutostartEntry(nullptr, autostart() + u"/x.desktop"_s, QString(), {}, {}, {}, {});
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(!QFileInfo::exists(autostart()));
    }
};

QTEST_MAIN(TestAutorun)
#include "tst_autorun.moc"
