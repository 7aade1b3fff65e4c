#pragma once

#include <QString>

namespace quillet {

// The one chat a running copy works on, handed to the windows that need it.
struct ChatContext
{
    QString chatFile;       // full path of the chat file
    QString exchangeFolder; // its folder, where message files are exchanged
    QString userId;         // this user's identity, the last field of every message
    bool startHidden = false;
};

} // namespace quillet
