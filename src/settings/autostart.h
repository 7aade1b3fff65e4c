#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace quillet {

struct ChatContext;

// Puts the chat into the autostart folder, so it starts hidden at
// log-on. An entry of the same name is replaced only when the user says so;
// otherwise the user names another one, until a free name is found or the
// user gives up.
void addChatToAutostart(QWidget *owner, const ChatContext &chat);

// Writes one autostart entry at `linkPath` and tells the user the outcome.
// Does nothing when the path or the target is empty.
void createAutostartEntry(QWidget *owner, const QString &linkPath, const QString &target,
                          const QString &workingDirectory, const QStringList &switches,
                          const QString &file, const QString &icon);

// The question asked when an entry of that name exists already.
QString existingEntryQuestion(const QString &path);

} // namespace quillet
