#include "commandline.h"

#include "appstate.h"
#include "boxes.h"
#include "guard.h"
#include "support.h"

#include <QFileInfo>

StartupAction ParseCommandLine(const QStringList &arguments)
{
    StartHidden = false;
    QString candidate;
    for (const QString &argument : arguments) {
        const QString upper = argument.toUpper();
        if (upper == QLatin1String("/?"))
            return StartupAction::ShowUsage;
        if (upper == QLatin1String("/H"))
            StartHidden = true;
        else
            candidate = argument;
    }
    if (candidate.isEmpty()) {
        StartHidden = false;
        return StartupAction::SelectChat;
    }
    if (!bfIsFileExist(candidate)) {
        Boxes::message(nullptr, candidate + QStringLiteral("\r\n\r\nФайл не существует."),
                       MB_OK | MB_ICONSTOP);
        return StartupAction::SelectChat;
    }
    const QString fullPath = bfGetFullFileName(candidate);
    if (fullPath.isEmpty())
        return StartupAction::SelectChat;
    ExchangeFolderPath = bfGetFilePath(fullPath);
    if (ExchangeFolderPath.isEmpty())
        return StartupAction::SelectChat;
    if (!ClaimExchangeFolder())
        return StartupAction::SelectChat;
    ChatFilePath = fullPath;
    return StartupAction::OpenChat;
}

QString UsageText()
{
    const QString program = QFileInfo(bfGetEXEModulePrettyFileName()).completeBaseName();
    return QStringLiteral("Использование:\r\n\r\n") + program +
           QStringLiteral("[.EXE] [[/H] FileName]\r\n\r\nFileName - файл чата.\r\n") +
           QStringLiteral("/H - скрыть окно чата при запуске.");
}

void ShowUsageBox()
{
    Boxes::message(nullptr, UsageText(), MB_OK | MB_ICONINFORMATION);
}
