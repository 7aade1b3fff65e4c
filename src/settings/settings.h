#pragma once

#include "appstate.h"
#include "error.h"

#include <QtGlobal>

// The user's preferences, loaded once at start and saved by the settings dialog.
// Colours are 0x00BBGGRR values (red in the lowest byte).
struct SettingsRecord
{
    bool SendOnEnter = false;
    qint32 MessageColor = 0;
    qint32 MyNameColor = 0x008000;
    qint32 OtherNameColor = 0xFF0080;
    qint32 SystemColor = 0x0000FF;
    bool iChatStylePlugin = true;
    bool NameOnSeparateLine = true;
    bool SortLogsList = true;
    bool SortLogsDescending = true;
    bool ShowDebugMessages = false;
};

extern SettingsRecord Settings;

void LoadSettings();
Status SaveSettings();
void InitMyGUID();
// The GUID naming the current chat's logs folder, made and stored on first use.
QString GetChatLogGUID();
// The current chat's logs folder; unless noCreate, it is created with every missing parent.
Result<QString> GetLogsFolder(bool noCreate);
