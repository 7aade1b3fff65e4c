#pragma once

#include "core/error.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace quillet {

// The words the user added to the dictionary: one word a line, UTF-8, in the
// program's data folder. Reading keeps every valid line of a damaged file
// (binary bytes, invalid UTF-8, blanks); each write replaces the whole file
// atomically with the words known then.
class PersonalWordList final
{
public:
    // Larger files are not a word list: they are left unread.
    static constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

    explicit PersonalWordList(const QString &path);
    // $XDG_DATA_HOME/Greyhollow Studios/Quillet IM/Personal Dictionary.txt
    static QString defaultPath();
    // Whether `text` may stand on a line of the list: one word, no blanks or controls.
    static bool isValidWord(const QString &text);

    QString path() const { return m_path; }
    // Reads the file again; a missing or unreadable file leaves the list empty.
    void load();
    bool contains(const QString &word) const;
    // Adds the word and writes the list, merged with what the file holds now
    // (another running copy may have added words). The word is known from now
    // on even when the file cannot be written.
    Status add(const QString &word);

private:
    static QSet<QString> readWords(const QString &path);

    QString m_path;
    QSet<QString> m_words;
};

} // namespace quillet
