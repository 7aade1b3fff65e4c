#pragma once

#include <QString>
#include <QStringList>

namespace quillet {

enum class StartupAction
{
    ShowUsage = 0,
    SelectChat = 1,
    OpenChat = 2
};

// Reads the arguments (without the program's own path). Sets StartHidden; on
// OpenChat leaves ChatFilePath and ExchangeFolderPath set and the folder claimed.
StartupAction parseCommandLine(const QStringList &arguments);
QString usageText();
void showUsageBox();

} // namespace quillet
