#pragma once

#include <QString>

namespace quillet {

struct ChatContext;

// The first windows of a session. Each opens a top-level window; the process
// then lives until its last window is gone.
// The chat selection window; a chosen chat is opened for this user.
void showChatSelection(const QString &userId);
// Opens the chat window on its chat; a hidden start only loads it.
void openChatWindow(const ChatContext &chat);
// The user's session ends (logout, shutdown, a closed terminal): the running
// chat exits as at the end of the desktop session, and the program ends after
// it. False when no chat is running.
bool endRunningChat();

} // namespace quillet
