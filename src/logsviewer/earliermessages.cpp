#include "logsviewer/earliermessages.h"

#include "core/messageheader.h"
#include "core/support.h"
#include "core/textfile.h"
#include "logsviewer/logfiles.h"
#include "logsviewer/logslist.h"
#include "richtext/rtftextscanner.h"

#include <QDebug>
#include <QtConcurrentRun>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 FirstChunk = 64 * 1024;
constexpr qint64 MaxHeaderBytes = 64 * 1024;
constexpr qint64 ChunkGrowth = 4;
// Our writer begins every paragraph on a line of its own; a CR LF in the text is
// written as control words, so these bytes are always a paragraph's start.
constexpr QByteArrayView ParagraphStart = "\r\n\\pard";

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

QStringView chopBlanks(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// The "HH:mm:ss" line the chat puts between messages after a pause.
bool isClockLine(QStringView line)
{
    static constexpr char16_t shape[] = u"00:00:00";
    if (line.size() != 8)
        return false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const bool digit = line[i].isDigit();
        if (shape[i] == u'0' ? !digit : line[i] != QChar(shape[i]))
            return false;
    }
    return true;
}

// A message's text is written trimmed: what follows it up to the next header is
// the blank line between messages and, after a pause, a time line and another
// blank line.
QString messageText(QStringView body)
{
    body = chopBlanks(body);
    const qsizetype lastLine = body.lastIndexOf(u'\n') + 1;
    if (lastLine > 0 && isClockLine(body.sliced(lastLine))) {
        const QStringView before = body.first(lastLine - 1);
        const qsizetype blankLine = before.lastIndexOf(u'\n') + 1;
        if (chopBlanks(before.sliced(blankLine)).isEmpty())
            body = chopBlanks(before.first(blankLine));
    }
    return body.toString();
}

// Whether the bytes end in the document's closing brace: a log that does not was
// cut short.
bool endsDocument(QByteArrayView bytes)
{
    qsizetype end = bytes.size();
    while (end > 0 &&
           (bytes[end - 1] == '\0' || isspace(static_cast<unsigned char>(bytes[end - 1]))))
        --end;
    return end > 0 && bytes[end - 1] == '}';
}

// The messages of a log's plain text: each header with the text up to the next one.
// Text before the first header belongs to no message that can be shown whole.
QList<EarlierMessage> messagesOfLogText(const RtfTextScanner::TextAndLinks &log)
{
    const QStringView text = log.text;
    const QList<MessageHeader> headers = findMessageHeaders(text);
    QList<EarlierMessage> messages;
    messages.reserve(headers.size());
    for (qsizetype i = 0; i < headers.size(); ++i) {
        const MessageHeader &header = headers.at(i);
        const qsizetype end = i + 1 < headers.size() ? headers.at(i + 1).start : text.size();
        // The text is the start of its part of the log, blank ends and time line cut off.
        QString body = messageText(text.sliced(header.bodyStart, end - header.bodyStart));
        QList<Link> links = linksWithin(log.links, header.bodyStart, body.size());
        messages.append({header.sender, header.time, std::move(body), std::move(links)});
    }
    return messages;
}

// The end of one log: its last messages, and whether they go back to its start.
struct LogEnd
{
    QList<EarlierMessage> messages;
    bool wholeLog = false;
};

// The last `wanted` messages of one log, read from its end in growing chunks, each
// cut at a paragraph's start and scanned after the log's header. The bytes read
// are taken from `budget`; a log gets at most MaxBytesPerLog of them.
Result<LogEnd> lastMessagesOf(const QString &path, qsizetype wanted, qint64 &budget)
{
    FileReader file;
    if (const Status opened = file.open(path); !opened)
        return opened.error();
    qint64 allowed = qMin(budget, EarlierMessagesLoader::MaxBytesPerLog);
    const auto read = [&](qint64 offset, qint64 length) {
        Result<QByteArray> bytes = file.read(offset, length);
        if (bytes) {
            budget -= bytes.value().size();
            allowed -= bytes.value().size();
        }
        return bytes;
    };
    const Result<QByteArray> start = read(0, qMin(qMin(file.size(), MaxHeaderBytes), allowed));
    if (!start)
        return start.error();
    const qsizetype paragraph = start.value().indexOf(ParagraphStart);
    if (paragraph < 0)
        return Error::make(ErrorCode::RtfMalformed);
    const qsizetype headerEnd = paragraph + 2;
    const QByteArray header = start.value().first(headerEnd);

    QByteArray tail;
    qint64 tailStart = file.size();
    qint64 chunk = FirstChunk;
    LogEnd end;
    for (;;) {
        const qint64 from = qMax<qint64>(headerEnd, file.size() - chunk);
        const Result<QByteArray> more = read(from, tailStart - from);
        if (!more)
            return more.error();
        // A log that does not end in the document's closing brace was cut short.
        if (more.value().size() != tailStart - from ||
            (tail.isEmpty() && !endsDocument(more.value())))
            return Error::make(ErrorCode::RtfMalformed);
        tail.prepend(more.value());
        tailStart = from;

        end.wholeLog = from == headerEnd;
        qsizetype cut = 0;
        if (!end.wholeLog && (cut = tail.indexOf(ParagraphStart)) >= 0)
            cut += 2;
        if (cut >= 0) {
            QByteArray rtf = header;
            rtf.append(QByteArrayView(tail).sliced(cut));
            const Result<RtfTextScanner::TextAndLinks> text = RtfTextScanner::textAndLinks(rtf);
            if (!text)
                return text.error();
            end.messages = messagesOfLogText(text.value());
        }
        if (end.wholeLog || end.messages.size() >= wanted || allowed <= 0)
            break;
        chunk = qMin(chunk * ChunkGrowth, chunk + allowed);
    }
    // Nothing found in all that one log may take (no paragraph of ours, or a single
    // message larger than that): skipping it leaves out no message that could be shown.
    if (!end.wholeLog && end.messages.isEmpty())
        return Error::make(ErrorCode::RtfMalformed);
    if (end.messages.size() > wanted)
        end.messages = end.messages.sliced(end.messages.size() - wanted);
    return end;
}

} // namespace

EarlierMessagesLoader::EarlierMessagesLoader(QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<QList<EarlierMessage>>::finished, this,
            [this] { emit loaded(m_watcher.result()); });
}

EarlierMessagesLoader::~EarlierMessagesLoader() = default;

void EarlierMessagesLoader::start(const QString &logsFolder, const QDateTime &sessionStart)
{
    m_watcher.setFuture(QtConcurrent::run(&EarlierMessagesLoader::load, logsFolder, sessionStart));
}

QList<EarlierMessage> EarlierMessagesLoader::load(const QString &logsFolder,
                                                  const QDateTime &sessionStart)
{
    Result<QStringList> listed = listNormalFiles(logsFolder, u".RTF"_s);
    if (!listed)
        return {};
    QStringList names = std::move(listed).value();
    sortLogNames(names);
    if (sessionStart.isValid()) {
        const QString first = sessionStart.toString(u"yyyy-MM-dd hh-mm-ss"_s);
        names.removeIf(
            [&](const QString &name) { return name.compare(first, Qt::CaseInsensitive) >= 0; });
    }

    QList<EarlierMessage> messages;
    qint64 budget = MaxBytesRead;
    // An older log is read only when the newer one was read to its start: no
    // message between them is ever left out.
    bool wholeLog = true;
    for (qsizetype i = names.size() - 1, logs = 0;
         i >= 0 && wholeLog && logs < MaxLogsRead && messages.size() < MaxMessages && budget > 0;
         --i, ++logs) {
        const QString path = joinPath(logsFolder, names.at(i));
        Result<LogEnd> end = lastMessagesOf(path, MaxMessages - messages.size(), budget);
        if (!end) {
            qDebug().noquote() << "Earlier messages: skipped" << path << "-"
                               << end.error().description;
            continue;
        }
        wholeLog = end.value().wholeLog;
        messages = std::move(end.value().messages) + messages;
    }
    return messages;
}

} // namespace quillet
