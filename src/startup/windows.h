#pragma once

// The first windows of a session. Each opens a top-level window; the process
// then lives until its last window is gone.
void ShowChatSelection();
// Opens the chat window on ChatFilePath; a hidden start only loads it.
void OpenChatWindow(bool hidden);
