#include "app/commandline.h"

#include "app/guard.h"
#include "core/appstate.h"
#include "core/support.h"
#include "gui/boxes.h"

#include <QFileInfo>

namespace quillet {

using namespace Qt::StringLiterals;

StartupAction parseCommandLine(const QStringList &arguments)
{
    StartHidden = false;
    QString candidate;
    for (const QString &argument : arguments) {
        const QString upper = argument.toUpper();
        if (upper == "/?"_L1)
            return StartupAction::ShowUsage;
        if (upper == "/H"_L1)
            StartHidden = true;
        else
            candidate = argument;
    }
    if (candidate.isEmpty()) {
        StartHidden = false;
        return StartupAction::SelectChat;
    }
    if (!fileExists(candidate)) {
        Boxes::message(nullptr, candidate + u"\r\n\r\nФайл не существует."_s,
                       BoxStyle{BoxButtons::Ok, BoxIcon::Stop});
        return StartupAction::SelectChat;
    }
    const QString fullPath = absolutePath(candidate);
    if (fullPath.isEmpty())
        return StartupAction::SelectChat;
    ExchangeFolderPath = parentFolder(fullPath);
    if (ExchangeFolderPath.isEmpty())
        return StartupAction::SelectChat;
    if (!claimExchangeFolder())
        return StartupAction::SelectChat;
    ChatFilePath = fullPath;
    return StartupAction::OpenChat;
}

QString usageText()
{
    const QString program = QFileInfo(executablePath()).completeBaseName();
    return u"Использование:\r\n\r\n"_s + program +
           u"[.EXE] [[/H] FileName]\r\n\r\nFileName - файл чата.\r\n"_s +
           u"/H - скрыть окно чата при запуске."_s;
}

void showUsageBox()
{
    Boxes::message(nullptr, usageText(), BoxStyle{BoxButtons::Ok, BoxIcon::Information});
}

} // namespace quillet
