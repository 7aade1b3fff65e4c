#pragma once

#include "appstate.h"
#include "error.h"

#include <QString>
#include <QtGlobal>

#include <functional>

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
// One that cannot be stored is kept for the rest of the run.
QString GetChatLogGUID();
// What the program must remember of the user (identity, the chats' log GUIDs, the
// names chosen) has to outlive the run: when the store cannot keep it, the user's
// earlier messages come up as someone else's and the earlier logs are lost from
// sight. The handler is told of the first such failure of the run only, with the
// text to show (naming the store's file); later ones would only repeat it.
using StoreFailureHandler = std::function<void(const QString &text, const Error &error)>;
void setStoreFailureHandler(StoreFailureHandler handler);
// Passes a failed save on to the handler, unless one was reported already this run.
void reportStoreFailure(const Status &saved);
// The current chat's logs folder; unless noCreate, it is created with every missing
// parent, each private to the user.
Result<QString> GetLogsFolder(bool noCreate);
