#pragma once

class QApplication;

namespace quillet {

// What every window and box relies on from the start: Qt's own texts (context
// menus, dialog buttons, colour and file dialogs) in Russian whatever the
// locale, and the program's icon as the default icon of every window.
// Returns false when Qt's Russian translation is not installed.
bool setUpApplication(QApplication &app);

// The program's entry procedure: identity, settings, command line, first window.
int runQuillet(int argc, char *argv[]);

} // namespace quillet
