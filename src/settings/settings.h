#pragma once

#include "core/error.h"

#include <QString>
#include <QtGlobal>

#include <functional>

namespace quillet {

// The user's preferences, loaded once at start and saved by the settings dialog.
// Colours are 0x00BBGGRR values (red in the lowest byte).
struct SettingsRecord
{
    bool sendOnEnter = false;
    qint32 messageColor = 0;
    qint32 myNameColor = 0x008000;
    qint32 otherNameColor = 0xFF0080;
    qint32 systemColor = 0x0000FF;
    bool timeStamps = true;
    bool nameOnSeparateLine = true;
    bool sortLogsList = true;
    bool sortLogsDescending = true;
    bool showDebugMessages = false;
    bool checkSpelling = true; // underline misspelt words in the message box
};

// The preferences of this run: loaded at start, changed by the settings dialog.
SettingsRecord &appSettings();

void loadSettings();
Status saveSettings();
// This user's identity, made and stored on the first run.
QString loadUserId();
// The GUID naming a chat's logs folder, made and stored on first use.
// One that cannot be stored is kept for the rest of the run.
QString chatLogGuid(const QString &chatFile);
// What the program must remember of the user (identity, the chats' log GUIDs, the
// names chosen) has to outlive the run: when the store cannot keep it, the user's
// earlier messages come up as someone else's and the earlier logs are lost from
// sight. The handler is told of the first such failure of the run only, with the
// text to show (naming the store's file); later ones would only repeat it.
using StoreFailureHandler = std::function<void(const QString &text, const Error &error)>;
void setStoreFailureHandler(StoreFailureHandler handler);
// Passes a failed save on to the handler, unless one was reported already this run.
void reportStoreFailure(const Status &saved);
// The logs folder of a chat; unless noCreate, it is created with every missing
// parent, each private to the user.
Result<QString> logsFolder(const QString &chatFile, bool noCreate);

} // namespace quillet
