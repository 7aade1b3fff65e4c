#include "core/appstate.h"
#include "settings/autostart.h"
#include "gui/boxes.h"
#include "settings/settingsdialog.h"
#include "settings/desktopentryreader.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

using namespace quillet;

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

    QString autostart() const { return m_env->path(QStringLiteral("config/autostart")); }

    // Answers the boxes from m_answers ("yes", "no", "cancel", "input:<text>") and
    // notes each box as "question:<entry name>", "input:<offered>", "done" or "error".
    BoxReply answer(const BoxRequest &request)
    {
        m_boxes.append(request);
        if (request.kind == BoxRequest::Kind::Input) {
            m_events.append(QStringLiteral("input:") + request.offered);
            const QString next = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
            return {BoxAnswer::Ok, next.mid(next.indexOf(QLatin1Char(':')) + 1)};
        }
        if (request.style == BoxStyle{BoxButtons::YesNoCancel, BoxIcon::Warning}) {
            const QString path = request.text.section(QStringLiteral("\r\n"), 0, 0);
            m_events.append(QStringLiteral("question:") +
                            path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
            const QString next =
                m_answers.isEmpty() ? QStringLiteral("cancel") : m_answers.takeFirst();
            return {next == QLatin1String("yes")  ? BoxAnswer::Yes
                    : next == QLatin1String("no") ? BoxAnswer::No
                                                  : BoxAnswer::Cancel,
                    {}};
        }
        m_events.append(request.style == BoxStyle{BoxButtons::Ok, BoxIcon::Information} ? QStringLiteral("done")
                                                                      : QStringLiteral("error"));
        return {BoxAnswer::Ok, {}};
    }

    void pressAutostartButton()
    {
        showSettingsDialog(m_owner.get());
        QWidget *window = SettingsDialog::instance();
        QTest::mouseClick(window->findChild<QAbstractButton *>(QStringLiteral("cmdAddToAutorun")),
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
        QCOMPARE(keys->value(QStringLiteral("Name")), name);
        QCOMPARE(keys->value(QStringLiteral("Path")), ExchangeFolderPath);
        QCOMPARE(keys->value(QStringLiteral("Icon")), QStringLiteral("quillet-im"));
        const auto exec = DesktopEntryReader::splitExec(keys->value(QStringLiteral("Exec")));
        QVERIFY(exec.has_value());
        QCOMPARE(*exec, (QStringList{QCoreApplication::applicationFilePath(), QStringLiteral("/H"),
                                     ChatFilePath}));
        const QString complaints = DesktopEntryReader::validate(path);
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        ExchangeFolderPath = m_env->chats() + QStringLiteral("/Чат \"$HOME\" `id` 100% \\n");
        ChatFilePath = ExchangeFolderPath + QStringLiteral("/Беседа.QLIMChat");
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
        const QString chat = QStringLiteral("Беседа.QLIMChat.desktop");
        const QString family = QStringLiteral("Семья.desktop");
        const QString asked = QStringLiteral("question:") + chat;
        const QString offered = QStringLiteral("input:Беседа.QLIMChat");
        const QString done = QStringLiteral("done");
        QTest::newRow("free name") << QStringList{} << QStringList{} << QStringList{done} << chat;
        QTest::newRow("yes replaces") << QStringList{chat} << QStringList{QStringLiteral("yes")}
                                      << QStringList{asked, done} << chat;
        QTest::newRow("no with the same name asks again")
            << QStringList{chat}
            << QStringList{QStringLiteral("no"), QStringLiteral("input:Беседа.QLIMChat"),
                           QStringLiteral("cancel")}
            << QStringList{asked, offered, asked} << QString();
        QTest::newRow("no with another name")
            << QStringList{chat} << QStringList{QStringLiteral("no"), QStringLiteral("input:Семья")}
            << QStringList{asked, offered, done} << family;
        QTest::newRow("no, that name exists too")
            << QStringList{chat, family}
            << QStringList{QStringLiteral("no"), QStringLiteral("input:Семья"),
                           QStringLiteral("no"), QStringLiteral("input:Работа")}
            << QStringList{asked, offered, QStringLiteral("question:") + family,
                           QStringLiteral("input:Семья"), done}
            << QStringLiteral("Работа.desktop");
        QTest::newRow("no, empty answer")
            << QStringList{chat} << QStringList{QStringLiteral("no"), QStringLiteral("input:")}
            << QStringList{asked, offered} << QString();
        QTest::newRow("cancel") << QStringList{chat} << QStringList{QStringLiteral("cancel")}
                                << QStringList{asked} << QString();
        QTest::newRow("a name leading out of the folder")
            << QStringList{chat}
            << QStringList{QStringLiteral("no"), QStringLiteral("input:../../evil")}
            << QStringList{asked, offered, QStringLiteral("error")} << QString();
    }

    void nameQuestionLoop()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, events);
        QFETCH(QString, written);
        for (const QString &name : existing)
            m_env->touch(QStringLiteral("config/autostart/") + name, "old");
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
                QCOMPARE(TestEnvironment::readAll(autostart() + QLatin1Char('/') + name),
                         QStringLiteral("old"));
        }
        if (!written.isEmpty())
            verifyEntry(autostart() + QLatin1Char('/') + written, written.chopped(8));
        QCOMPARE(entries(m_env->path(QStringLiteral("config"))), QStringList{});
        QVERIFY(!QFileInfo::exists(m_env->path(QStringLiteral("evil.desktop"))));
    }

    void questionAndReportTexts()
    {
        m_env->touch(QStringLiteral("config/autostart/Беседа.QLIMChat.desktop"), "old");
        m_answers = QStringList{QStringLiteral("yes")};
        pressAutostartButton();
        QCOMPARE(m_boxes.size(), 2);
        const QString path = autostart() + QStringLiteral("/Беседа.QLIMChat.desktop");
        QCOMPARE(m_boxes[0].style.number(), 51);
        QCOMPARE(m_boxes[0].text.split(QStringLiteral("\r\n")),
                 (QStringList{path, QString(),
                              QStringLiteral("Ярлык уже существует. Возможно, данный чат уже "
                                             "добавлен в автозагрузку, а может быть просто имена "
                                             "файлов совпали."),
                              QString(), QStringLiteral("Заменить существующий ярлык?"), QString(),
                              QStringLiteral("Да     - заменить."),
                              QStringLiteral("Нет    - задать новое имя файла."),
                              QStringLiteral("Отмена - не создавать ничего.")}));
        QCOMPARE(m_boxes[1].style.number(), 64);
        QCOMPARE(m_boxes[1].text, QStringLiteral("Готово! ^_^v"));
    }

    void inputBoxPrompt()
    {
        m_env->touch(QStringLiteral("config/autostart/Беседа.QLIMChat.desktop"), "old");
        m_answers = QStringList{QStringLiteral("no"), QStringLiteral("input:")};
        pressAutostartButton();
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_boxes[1].kind, BoxRequest::Kind::Input);
        QCOMPARE(
            m_boxes[1].text,
            QStringLiteral("Введите новое имя для ярлыка, который будет помещён в автозагрузку."));
    }

    void failureIsReported()
    {
        m_env->touch(QStringLiteral("config/autostart"), "a file, not a folder");
        pressAutostartButton();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].style.number(), 16);
        QVERIFY2(m_boxes[0].text.startsWith(
                     QStringLiteral("Не удалось создать ярлык.\r\n\r\nКод %1\r\n").arg(ENOTDIR)),
                 qPrintable(m_boxes[0].text));
    }

    void emptyTargetOrPathDoesNothing()
    {
        createAutostartEntry(nullptr, QString(), QStringLiteral("/bin/q"), {}, {}, {}, {});
        createAutostartEntry(nullptr, autostart() + QStringLiteral("/x.desktop"), QString(), {}, {}, {},
                       {});
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(!QFileInfo::exists(autostart()));
    }
};

QTEST_MAIN(TestAutorun)
#include "tst_autorun.moc"
