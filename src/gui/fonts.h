#pragma once

#include <QFont>

namespace quillet {

// The base font of the conversation and of the logs it is saved in: Tahoma
// 9 pt where installed, otherwise the desktop's general font at 9 pt. Every
// run of the conversation sets its own size; the windows around it use the
// desktop's font.
QFont conversationFont();

} // namespace quillet
