#pragma once

#include "chatwindow/conversationview.h"
#include "core/messagetime.h"
#include "exchange/conversation.h"
#include "logsviewer/earliermessages.h"

#include <QDateTime>
#include <QFont>
#include <QString>
#include <QTextCursor>

#include <memory>
#include <optional>

class QTextEdit;
class QWidget;

namespace quillet {

class AttachmentLines;
class RtfLogFile;

// A sender's name as shown: trimmed of blanks and line breaks; "Анонимус" when
// nothing is left.
QString displayName(const QString &name);

// The runs of one message as the conversation shows it, header and text, with
// the header in `nameColour` and the time already local. Links found in the text
// are links; so are `storedLinks` (placed in `text`), the ones a log kept.
QList<TextRun> messageRuns(const QString &senderName, const QString &text,
                           const MessageTime &localTime, const QColor &nameColour,
                           const QList<Link> &storedLinks = {});

// Shows the messages of a conversation in the view of one chat window and keeps
// its conversation log, one file per window, named after its first message.
// View and log get the same runs from each message; the log is never read
// from the view, which may show more (earlier messages above the conversation).
class MessageRenderer final
{
    Q_DISABLE_COPY_MOVE(MessageRenderer)

public:
    // `view` gets the conversation font and loses its undo history, which a
    // read-only conversation does not need and which would grow without end.
    // The log goes into the logs folder of `chatFile`; files that come with
    // messages are found in `exchangeFolder`.
    MessageRenderer(QTextEdit *view, QWidget *boxParent, const QString &chatFile,
                    const QString &exchangeFolder);
    ~MessageRenderer();

    // Appends spacer, time stamp, header and body for one message, a line for
    // each file that came with it (in the log a link to the file), then saves
    // the log silently.
    void renderMessage(const ConversationMessage &message);
    // Shows the end of the conversation of earlier sessions above everything
    // else, below it the line "Ранее в этом чате"; neither goes into the log.
    // Messages of `ownName` and of the program get their own colours.
    void showEarlierMessages(const QList<EarlierMessage> &messages, const QString &ownName);
    // Brings the log file up to date. Silent: false on failure, tried again with
    // the next message. Otherwise a failure asks Abort (false), Retry or Ignore (true).
    bool saveLog(bool silent);
    // Between beginBatch and endBatch the messages rendered form one edit of the
    // document: the view lays out, reports the change and takes its scroll
    // decision once, at endBatch, instead of for every message. renderMessage
    // does not save meanwhile; the event loop must not run inside a batch.
    void beginBatch();
    void endBatch();

    // The full path of the log file; empty until the first save has fixed it.
    QString logFilePath() const { return m_logFilePath; }
    AttachmentLines *attachmentLines() const { return m_attachments.get(); }

private:
    void appendMessage(const ReceivedMessage &message);
    QList<TextRun> attachmentLogRuns(const Attachment &attachment) const;
    void appendTimeStamp(QList<TextRun> &runs);
    Status writeLog();
    QString failedPath() const;

    QTextEdit *m_view;
    QWidget *m_boxParent;
    QString m_chatFile;
    QDateTime m_lastStampTime; // local; invalid until the first message
    QDateTime m_logNameTime;   // local; the time the log's name gives
    QString m_logFileName;     // fixed at the first save
    QString m_logFilePath;
    bool m_folderChecked = false;
    std::optional<ScrollKeeper> m_batchScroll;
    std::optional<QTextCursor> m_batchCursor; // holds the open edit block
    std::unique_ptr<RtfLogFile> m_log;
    std::unique_ptr<AttachmentLines> m_attachments;
};

} // namespace quillet
