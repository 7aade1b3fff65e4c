#include "chatwindow/messagerenderer.h"

#include "chatwindow/attachmentlines.h"
#include "chatwindow/conversationview.h"
#include "core/links.h"
#include "core/messageheader.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "gui/fonts.h"
#include "richtext/rtflogfile.h"
#include "settings/settings.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextDocument>
#include <QTextEdit>

#include <cerrno>
#include <cmath>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

const QColor StampColour(128, 128, 128);
constexpr int StampMinutes = 5;
constexpr int MaxLogNameAttempts = 3600; // names taken in a row before giving up
const QString LineEnd = u"\r\n"_s;

QString logFileName(const QDateTime &localTime)
{
    return localTime.toString(u"yyyy-MM-dd hh-mm-ss"_s) + u".RTF"_s;
}

// Whole minutes of local wall-clock time since the epoch.
qint64 localMinute(const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch() + qint64(time.offsetFromUtc()) * 1000;
    return qint64(std::floor(double(ms) / 60000.0));
}

QColor nameColour(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Own:
        return appSettings().myNameColor;
    case MessageKind::Other:
        return appSettings().otherNameColor;
    case MessageKind::System:
        break;
    }
    return appSettings().systemColor;
}

// A thin blank line (3 points) between messages.
TextRun spacerRun()
{
    return {u" "_s + LineEnd, 3, false, Qt::black, Qt::AlignLeft, {}};
}

} // namespace

QString displayName(const QString &name)
{
    const QString trimmed = trimText(name, TrimBlanksAndBreaks);
    return trimmed.isEmpty() ? u"Анонимус"_s : trimmed;
}

namespace {

// The links of a message's body: `stored` ones (placed in the whole text, of
// which the body starts at `offset`) and, where none lies, the ones found.
QList<Link> bodyLinks(const QString &body, const QList<Link> &stored, qsizetype offset)
{
    if (stored.isEmpty())
        return findLinks(body);
    const QList<Link> placed = linksWithin(stored, offset, body.size());
    QList<Link> links = placed;
    for (const Link &found : findLinks(body)) {
        if (std::none_of(placed.begin(), placed.end(), [&](const Link &link) {
                return found.start < link.start + link.length &&
                       link.start < found.start + found.length;
            }))
            links.append(found);
    }
    std::sort(links.begin(), links.end(),
              [](const Link &a, const Link &b) { return a.start < b.start; });
    return links;
}

} // namespace

QList<TextRun> messageRuns(const QString &senderName, const QString &text,
                           const MessageTime &localTime, const QColor &nameColour,
                           const QList<Link> &storedLinks)
{
    const bool separateLine = appSettings().nameOnSeparateLine;
    QList<TextRun> runs{{messageHeaderText(displayName(senderName), localTime, separateLine) +
                             (separateLine ? LineEnd : QString()),
                         MessageHeaderPoints,
                         true,
                         nameColour,
                         Qt::AlignLeft,
                         {}}};
    const QString body = trimText(text, TrimBlanksAndBreaks);
    if (body.isEmpty() && separateLine)
        return runs; // files without a caption: their lines follow the header's
    const QColor colour = appSettings().messageColor;
    const QColor linkColour = QGuiApplication::palette().color(QPalette::Link);
    // The body is the text less its blank ends, and begins with no blank.
    const qsizetype offset = storedLinks.isEmpty() || body.isEmpty() ? 0 : text.indexOf(body);
    qsizetype done = 0;
    for (const Link &link : bodyLinks(body, storedLinks, offset)) {
        if (link.start > done)
            runs.append({body.sliced(done, link.start - done),
                         MessageTextPoints,
                         false,
                         colour,
                         Qt::AlignLeft,
                         {}});
        runs.append({body.sliced(link.start, link.length), MessageTextPoints, false, linkColour,
                     Qt::AlignLeft, link.url});
        done = link.start + link.length;
    }
    runs.append({body.sliced(done) + LineEnd, MessageTextPoints, false, colour, Qt::AlignLeft, {}});
    return runs;
}

MessageRenderer::MessageRenderer(QTextEdit *view, QWidget *boxParent, const QString &chatFile,
                                 const QString &exchangeFolder)
    : m_view(view), m_boxParent(boxParent), m_chatFile(chatFile)
{
    m_view->setFont(conversationFont());
    m_view->document()->setUndoRedoEnabled(false);
    m_log = std::make_unique<RtfLogFile>(m_view->document()->defaultFont().family());
    m_attachments = std::make_unique<AttachmentLines>(view, exchangeFolder);
}

MessageRenderer::~MessageRenderer() = default;

void MessageRenderer::renderMessage(const ConversationMessage &message)
{
    const bool single = !m_batchCursor;
    {
        std::optional<ScrollKeeper> scroll;
        if (single)
            scroll.emplace(m_view);
        appendMessage(message.message);
    }
    // A silent save that fails is tried again with the next message and at the exit.
    if (single)
        (void)saveLog(true);
}

void MessageRenderer::appendMessage(const ReceivedMessage &message)
{
    MessageTime time = message.utcTime;
    // A record that names no real moment is shown as it came rather than dropped.
    if (!utcToLocal(message.utcTime, time))
        time = message.utcTime;
    QList<TextRun> runs;
    if (!m_log->isEmpty())
        runs.append(spacerRun());
    if (appSettings().timeStamps)
        appendTimeStamp(runs);
    const QString text = message.attachments.isEmpty() ? message.text : captionOf(message);
    runs += messageRuns(message.senderName, text, time, nameColour(message.kind));
    for (const TextRun &run : std::as_const(runs)) {
        appendRun(m_view->document(), run);
        m_log->append(run);
    }
    for (const Attachment &attachment : message.attachments) {
        m_attachments->append(attachment);
        for (const TextRun &run : attachmentLogRuns(attachment))
            m_log->append(run);
    }
}

// The log names each file as a link to it, whether it is there yet or not; a
// refused file gets the reason instead.
QList<TextRun> MessageRenderer::attachmentLogRuns(const Attachment &attachment) const
{
    const QColor colour = appSettings().messageColor;
    if (!attachment.ok())
        return {{refusalText(attachment.name(), attachment.error) + LineEnd,
                 MessageTextPoints,
                 false,
                 appSettings().systemColor,
                 Qt::AlignLeft,
                 {}}};
    return {
        {attachment.name(), MessageTextPoints, false,
         QGuiApplication::palette().color(QPalette::Link), Qt::AlignLeft,
         QUrl::fromLocalFile(m_attachments->filePath(attachment))},
        {sizeSuffix(attachment) + LineEnd, MessageTextPoints, false, colour, Qt::AlignLeft, {}}};
}

// Earlier messages go above everything, and only into the view.
void MessageRenderer::showEarlierMessages(const QList<EarlierMessage> &messages,
                                          const QString &ownName)
{
    if (messages.isEmpty())
        return;
    QList<TextRun> runs;
    for (const EarlierMessage &message : messages) {
        if (!runs.isEmpty())
            runs.append(spacerRun());
        const QString sender = displayName(message.sender);
        const MessageKind kind = sender == appTitle()             ? MessageKind::System
                                 : sender == displayName(ownName) ? MessageKind::Own
                                                                  : MessageKind::Other;
        runs += messageRuns(sender, message.text, message.time, nameColour(kind), message.links);
    }
    runs.append(spacerRun());
    runs.append({u"Ранее в этом чате"_s + LineEnd,
                 MessageHeaderPoints,
                 false,
                 StampColour,
                 Qt::AlignHCenter,
                 {}});
    runs.append(spacerRun());
    insertRunsAtStart(m_view, runs);
}

void MessageRenderer::beginBatch()
{
    if (m_batchCursor)
        return;
    m_batchScroll.emplace(m_view);
    m_batchCursor.emplace(m_view->document());
    m_batchCursor->beginEditBlock();
}

void MessageRenderer::endBatch()
{
    if (!m_batchCursor)
        return;
    m_batchCursor->endEditBlock();
    m_batchCursor.reset();
    m_batchScroll.reset();
}

// A centred time line above a message that arrives five or more minute boundaries
// after the last one; the first message of a session starts the count.
void MessageRenderer::appendTimeStamp(QList<TextRun> &runs)
{
    const QDateTime now = Clock::nowLocal();
    if (!m_lastStampTime.isValid())
        m_lastStampTime = now;
    if (localMinute(now) - localMinute(m_lastStampTime) < StampMinutes)
        return;
    m_lastStampTime = now;
    runs.append({formatClockTime(now) + LineEnd,
                 MessageHeaderPoints,
                 false,
                 StampColour,
                 Qt::AlignHCenter,
                 {}});
    runs.append(spacerRun());
}

bool MessageRenderer::saveLog(bool silent)
{
    if (m_log->isEmpty())
        return true;
    if (m_logFileName.isEmpty()) {
        m_logNameTime = Clock::nowLocal();
        m_logFileName = logFileName(m_logNameTime);
    }
    for (;;) {
        const Status saved = writeLog();
        if (saved)
            return true;
        if (silent)
            return false;
        const BoxAnswer answer = Boxes::showError(
            m_boxParent, saved.error(), BoxStyle{BoxButtons::AbortRetryIgnore, BoxIcon::Stop},
            failedPath() + u"\r\n\r\nНе удалось сохранить лог."_s);
        if (answer == BoxAnswer::Abort)
            return false;
        if (answer != BoxAnswer::Retry)
            return true;
    }
}

// Every attempt makes sure of the folder until a write has succeeded, so that a
// cause removed in the meantime (a file where the folder should be, a deleted
// folder) no longer stops the log.
Status MessageRenderer::writeLog()
{
    if (m_logFilePath.isEmpty()) {
        const Result<QString> folder = logsFolder(m_chatFile, false);
        if (!folder)
            return folder.error();
        // Another run of this chat may have started its log in the same second:
        // its file is never overwritten, this log takes the next free second.
        for (int attempt = 0;; ++attempt) {
            const QString path = joinPath(folder.value(), m_logFileName);
            const Status created = m_log->saveNew(path);
            if (created) {
                m_logFilePath = path;
                m_folderChecked = true;
                return {};
            }
            if (created.error().number != EEXIST || attempt == MaxLogNameAttempts)
                return created;
            m_logNameTime = m_logNameTime.addSecs(1);
            m_logFileName = logFileName(m_logNameTime);
        }
    } else if (!m_folderChecked) {
        if (Status created = createPrivateFolder(parentFolder(m_logFilePath)); !created)
            return created;
        m_folderChecked = true;
    }
    const Status written = m_log->save(m_logFilePath);
    if (!written)
        m_folderChecked = false;
    return written;
}

// The path named in the failure box, also when the folder could not be made.
QString MessageRenderer::failedPath() const
{
    if (!m_logFilePath.isEmpty())
        return m_logFilePath;
    const Result<QString> folder = logsFolder(m_chatFile, true);
    return folder ? joinPath(folder.value(), m_logFileName) : m_logFileName;
}

} // namespace quillet
