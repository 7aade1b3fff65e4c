#include "messagerenderer.h"

#include "boxes.h"
#include "modrtfsupport.h"
#include "rtflogfile.h"
#include "settings.h"
#include "support.h"

#include <QFontDatabase>
#include <QTextDocument>
#include <QTextEdit>

#include <cerrno>
#include <cmath>

namespace {

constexpr int HeaderSize = 8;
constexpr int BodySize = 9;
constexpr qint32 StampColour = 0x808080; // RGB(128, 128, 128)
constexpr int StampMinutes = 5;
constexpr int MaxLogNameAttempts = 3600; // names taken in a row before giving up

QString logFileName(const QDateTime &localTime)
{
    return localTime.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) + QStringLiteral(".RTF");
}

// Whole minutes of local wall-clock time since the epoch.
qint64 localMinute(const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch() + qint64(time.offsetFromUtc()) * 1000;
    return qint64(std::floor(double(ms) / 60000.0));
}

qint32 nameColour(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Own:
        return Settings.MyNameColor;
    case MessageKind::Other:
        return Settings.OtherNameColor;
    case MessageKind::System:
        break;
    }
    return Settings.SystemColor;
}

} // namespace

QFont ConversationFont()
{
    const QString tahoma = QStringLiteral("Tahoma");
    QFont font = QFontDatabase::hasFamily(tahoma)
                     ? QFont(tahoma)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(9);
    return font;
}

QString GetDisplayName(const QString &name)
{
    const QString trimmed = bfTrimEx2(name, TrimBlanksAndBreaks);
    return trimmed.isEmpty() ? QStringLiteral("Анонимус") : trimmed;
}

MessageRenderer::MessageRenderer(QTextEdit *view, QWidget *boxParent)
    : m_view(view), m_boxParent(boxParent)
{
    m_view->setFont(ConversationFont());
    m_view->document()->setUndoRedoEnabled(false);
    m_log = std::make_unique<RtfLogFile>(m_view->document());
}

MessageRenderer::~MessageRenderer() = default;

void MessageRenderer::RenderMessage(const QString &senderName, const QString &text,
                                    SystemTime utcTime, MessageKind kind)
{
    const qint32 colour = nameColour(kind);
    const bool single = !m_batchCursor;
    if (single)
        BeginAppend(m_view);
    SystemTime time = utcTime;
    // A record that names no real moment is shown as it came rather than dropped.
    if (!UtcToLocalTime(utcTime, time))
        time = utcTime;
    if (!m_view->document()->isEmpty())
        AppendSpacer(m_view);
    if (Settings.iChatStylePlugin)
        appendTimeStamp();

    const QString name = GetDisplayName(senderName);
    const QString clock = bfSystemTimeToStringTime(time);
    const QString date = bfSystemTimeToStringDate(time, 0);
    if (Settings.NameOnSeparateLine) {
        AppendLine(m_view,
                   name + QStringLiteral("  (") + clock + QStringLiteral(" - ") + date +
                       QLatin1Char(')'),
                   HeaderSize, true, colour, 0);
    } else {
        AppendText(m_view,
                   QLatin1Char('(') + clock + QStringLiteral(" - ") + date + QStringLiteral(") ") +
                       name + QStringLiteral(":  "),
                   HeaderSize, true, colour, 0);
    }
    AppendLine(m_view, bfTrimEx2(text, TrimBlanksAndBreaks), BodySize, false, Settings.MessageColor,
               0);
    if (!single)
        return;
    EndAppend(m_view);
    if (!m_deferSaving)
        (void)SaveConversationLog(true);
}

void MessageRenderer::BeginBatch()
{
    if (m_batchCursor)
        return;
    BeginAppend(m_view);
    m_batchCursor.emplace(m_view->document());
    m_batchCursor->beginEditBlock();
}

void MessageRenderer::EndBatch()
{
    if (!m_batchCursor)
        return;
    m_batchCursor->endEditBlock();
    m_batchCursor.reset();
    EndAppend(m_view);
}

// A centred time line above a message that arrives five or more minute boundaries
// after the last one; the first message of a session starts the count.
void MessageRenderer::appendTimeStamp()
{
    const QDateTime now = Clock::nowLocal();
    if (!m_lastStampTime.isValid())
        m_lastStampTime = now;
    if (localMinute(now) - localMinute(m_lastStampTime) < StampMinutes)
        return;
    m_lastStampTime = now;
    AppendLine(m_view, bfSystemTimeToStringTime2(now), HeaderSize, false, StampColour, 2);
    AppendSpacer(m_view);
}

bool MessageRenderer::SaveConversationLog(bool silent)
{
    if (m_view->document()->isEmpty())
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
        const int answer =
            Boxes::showError(m_boxParent, saved.error(), MB_ABORTRETRYIGNORE | MB_ICONSTOP,
                             failedPath() + QStringLiteral("\r\n\r\nНе удалось сохранить лог."));
        if (answer == IDABORT)
            return false;
        if (answer != IDRETRY)
            return true;
    }
}

// Every attempt makes sure of the folder until a write has succeeded, so that a
// cause removed in the meantime (a file where the folder should be, a deleted
// folder) no longer stops the log.
Status MessageRenderer::writeLog()
{
    if (m_logFilePath.isEmpty()) {
        const Result<QString> folder = GetLogsFolder(false);
        if (!folder)
            return folder.error();
        // Another run of this chat may have started its log in the same second:
        // its file is never overwritten, this log takes the next free second.
        for (int attempt = 0;; ++attempt) {
            const QString path = bfBuildFileName(folder.value(), m_logFileName);
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
        if (Status created = createPrivateFolder(bfGetFilePath(m_logFilePath)); !created)
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
    const Result<QString> folder = GetLogsFolder(true);
    return folder ? bfBuildFileName(folder.value(), m_logFileName) : m_logFileName;
}
