#pragma once

#include <QFont>

namespace quillet {

// The font of every window: Tahoma 9 pt where installed, otherwise the
// desktop's general font at 9 pt.
QFont programFont();

} // namespace quillet
