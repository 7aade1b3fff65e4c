#pragma once

namespace quillet {

// The first windows of a session. Each opens a top-level window; the process
// then lives until its last window is gone.
void showChatSelection();
// Opens the chat window on ChatFilePath; a hidden start only loads it.
void openChatWindow(bool hidden);
// The user's session ends (logout, shutdown, a closed terminal): the running
// chat exits as at the end of the desktop session, and the program ends after
// it. False when no chat is running.
bool endRunningChat();

} // namespace quillet
