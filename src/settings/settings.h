#pragma once

#include "core/error.h"

#include <QColor>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace quillet {

// The user's preferences, loaded once at start and saved by the settings dialog.
struct SettingsRecord
{
    bool sendOnEnter = false;
    // Stored as 32-bit values with red in the lowest byte (0x00BBGGRR).
    QColor messageColor = Qt::black;
    QColor myNameColor = QColor(0x00, 0x80, 0x00);
    QColor otherNameColor = QColor(0x80, 0x00, 0xFF);
    QColor systemColor = QColor(0xFF, 0x00, 0x00);
    bool timeStamps = true;
    bool nameOnSeparateLine = true;
    bool sortLogsList = true;
    bool sortLogsDescending = true;
    bool showDebugMessages = false;
    // Beyond the ten preferences every copy knows: keys of their own.
    bool newMessageSound = true;
    bool checkSpelling = true;       // underline misspelt words in the message box
    bool showEarlierMessages = true; // the end of the conversation so far when a chat opens
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
