#pragma once

#include "core/error.h"
#include "core/textfile.h"
#include "platform/files.h"
#include "richtext/rtfwriter.h"

#include <QByteArray>
#include <QString>

namespace quillet {

// Keeps a file equal to the RTF of a conversation that grows by runs at its end,
// at a cost that does not grow with the conversation.
//
// A save that only adds paragraphs appends: the new bytes go after the old file's
// final brace and are made durable, then one byte, that brace, is overwritten with
// the first new byte and made durable too. Until that one-byte commit the file is
// the old document byte for byte, followed by bytes after its final brace, which
// RTF readers ignore; after it, the new document. No byte before the old brace is
// ever written, so an interruption at any moment loses nothing the file held.
// Everything else (a new colour, a file changed by someone else, a failed save)
// replaces the file atomically. Log files are the user's alone (0600).
class RtfLogFile final
{
    Q_DISABLE_COPY_MOVE(RtfLogFile)

public:
    enum class Method
    {
        None,      // the file was already up to date
        Appended,  // new bytes after the old content, then the one-byte commit
        Rewritten, // the whole file replaced atomically
    };

    // The conversation's text is written in `fontFamily`.
    explicit RtfLogFile(const QString &fontFamily);

    void append(const TextRun &run) { m_writer.append(run); }
    bool isEmpty() const { return m_writer.isEmpty(); }
    QByteArray rtf() const { return m_writer.rtf(); }

    Status save(const QString &path);
    // The first save of a new log: the whole document goes to `path` at once, and
    // the save fails with EEXIST when a file of that name exists, which it keeps:
    // a log is never overwritten, and never left empty or half written.
    Status saveNew(const QString &path);
    Method lastMethod() const { return m_lastMethod; }

private:
    Status rewrite(const QString &path, TextFile::Existing existing = TextFile::Existing::Replace);
    void remember(const QString &path);
    Status append(const QString &path, const QByteArray &added);

    RtfRunWriter m_writer;
    QString m_path;             // the file that the fields below describe; empty when unknown
    FileStamp m_stamp;          // that file as this object left it (never a default one)
    QByteArray m_header;        // its header
    qsizetype m_bodyLength = 0; // the finished paragraphs it holds
    QByteArray m_tail;          // its last paragraph and closing brace
    Method m_lastMethod = Method::None;
};

} // namespace quillet
