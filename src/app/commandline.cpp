#include "app/commandline.h"

#include "app/guard.h"
#include "core/support.h"
#include "gui/boxes.h"

#include <QFileInfo>

namespace quillet {

using namespace Qt::StringLiterals;

StartupRequest parseCommandLine(const QStringList &arguments)
{
    bool hidden = false;
    QString candidate;
    for (const QString &argument : arguments) {
        const QString upper = argument.toUpper();
        if (upper == "/?"_L1)
            return {StartupAction::ShowUsage, {}};
        if (upper == "/H"_L1)
            hidden = true;
        else
            candidate = argument;
    }
    if (candidate.isEmpty())
        return {};
    if (!fileExists(candidate)) {
        Boxes::message(nullptr, candidate + u"\r\n\r\nФайл не существует."_s,
                       BoxStyle{BoxButtons::Ok, BoxIcon::Stop});
        return {};
    }
    ChatContext chat;
    chat.chatFile = absolutePath(candidate);
    chat.exchangeFolder = parentFolder(chat.chatFile);
    chat.startHidden = hidden;
    if (chat.chatFile.isEmpty() || chat.exchangeFolder.isEmpty() ||
        !claimExchangeFolder(chat.exchangeFolder))
        return {};
    return {StartupAction::OpenChat, chat};
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
