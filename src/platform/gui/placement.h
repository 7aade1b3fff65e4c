#pragma once

#include <QString>

class QWidget;

// Window placements in the settings store. Each window keeps its own entry
// (its object name is part of the section), so the chat window and the logs
// viewer of one chat, which use the same key, do not overwrite each other.
void SaveFormPlacement(QWidget *window, const QString &section, const QString &key);
// Moves the window to its stored placement; leaves it where it is when none
// is stored or the stored one lies on no screen.
void RestoreFormPlacement(QWidget *window, const QString &section, const QString &key);
// Centres the window on the screen it is on (or the primary screen).
void bfCenterFormEx(QWidget *window);
