#pragma once

#include "core/chatcontext.h"

#include <QString>
#include <QStringList>

namespace quillet {

enum class StartupAction
{
    ShowUsage = 0,
    SelectChat = 1,
    OpenChat = 2
};

struct StartupRequest
{
    StartupAction action = StartupAction::SelectChat;
    ChatContext chat; // on OpenChat: its file, folder (claimed) and hidden start
};

// Reads the arguments (without the program's own path).
StartupRequest parseCommandLine(const QStringList &arguments);
QString usageText();
void showUsageBox();

} // namespace quillet
