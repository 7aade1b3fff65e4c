#include "app/startup.h"

#include "app/commandline.h"
#include "app/windows.h"
#include "gui/boxes.h"
#include "gui/resources.h"
#include "platform/terminationsignals.h"
#include "settings/settings.h"

#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

void setApplicationNames()
{
    QCoreApplication::setOrganizationName(u"Greyhollow Studios"_s);
    QCoreApplication::setApplicationName(u"Quillet IM"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QGuiApplication::setDesktopFileName(u"quillet-im"_s);
}

// --help and --version answer on standard output without opening any window,
// so they work without a display.
int answerOnConsole(int argc, char *argv[], const char *option)
{
    QCoreApplication app(argc, argv);
    setApplicationNames();
    QString text;
    if (std::strcmp(option, "--version") == 0)
        text = u"Quillet IM "_s + QCoreApplication::applicationVersion();
    else
        text = usageText().replace(u"\r\n"_s, u"\n"_s);
    std::fputs(qPrintable(text + '\n'_L1), stdout);
    return 0;
}

#ifdef QUILLET_TEST_HOOKS
// In test builds, with QUILLET_BOX_LOG set, every window shown is
// noted in the same log as the boxes.
class ShownWindowLog final : public QObject
{
public:
    explicit ShownWindowLog(QString path) : m_path(std::move(path)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            const auto *widget = static_cast<QWidget *>(watched);
            QFile log(m_path);
            if (widget->isWindow() && log.open(QIODevice::Append))
                log.write((u"window\t"_s + widget->windowTitle() + '\n'_L1).toUtf8());
        }
        return false;
    }

private:
    QString m_path;
};
#endif

const char *consoleOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "--version") == 0)
            return argv[i];
    }
    return nullptr;
}

} // namespace

bool setUpApplication(QApplication &app)
{
    QApplication::setWindowIcon(resourceIcon(u"A_MAIN"_s));
    // The program has no other language, so the system's locale does not choose.
    auto *translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        qWarning(
            "Qt's Russian translation (qtbase_ru.qm) is missing: install qt6-translations-l10n");
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

int runQuillet(int argc, char *argv[])
{
    if (const char *option = consoleOption(argc, argv))
        return answerOnConsole(argc, argv, option);

    QApplication app(argc, argv);
    setApplicationNames();
    setUpApplication(app);
#ifdef QUILLET_TEST_HOOKS
    Boxes::installFromEnvironment();
    ShownWindowLog windowLog(qEnvironmentVariable("QUILLET_BOX_LOG"));
    if (qEnvironmentVariableIsSet("QUILLET_BOX_LOG"))
        app.installEventFilter(&windowLog);
#endif

    setStoreFailureHandler([](const QString &text, const Error &error) {
        Boxes::showError(nullptr, error, BoxStyle{BoxButtons::Ok, BoxIcon::Warning}, text);
    });

    // A logout, shutdown or closed terminal ends the process by a signal: the
    // chat then ends as at the end of the desktop session, its log and state
    // saved; without a chat the program just quits.
    TerminationSignals termination;
    // A signal during a start-up box ends only that box's loop: remembered here.
    bool quitRequested = false;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&quitRequested] {
        if (endRunningChat())
            return;
        quitRequested = true;
        QCoreApplication::exit(0);
    });

    const QString userId = loadUserId();
    loadSettings();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    StartupRequest request = parseCommandLine(arguments);
    request.chat.userId = userId;
    switch (request.action) {
    case StartupAction::ShowUsage:
        showUsageBox();
        return 0;
    case StartupAction::SelectChat:
        showChatSelection(userId);
        break;
    case StartupAction::OpenChat:
        openChatWindow(request.chat);
        break;
    }
    return quitRequested ? 0 : app.exec();
}

} // namespace quillet
