#pragma once

#include "core/links.h"
#include "core/messagetime.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

namespace quillet {

// One message of an earlier session, as its log holds it.
struct EarlierMessage
{
    QString sender;
    MessageTime time;  // the local time its header shows
    QString text;      // its lines separated by '\n'
    QList<Link> links; // the links its log holds in the text (the files sent), in text order
};

// The end of the conversation so far, read from the ends of a chat's newest logs:
// the last messages, oldest first. Only as much of each log is read as it takes,
// no more than MaxBytesPerLog of one and MaxBytesRead in all. A log that cannot be
// read, is no RTF of ours or was cut short is skipped with a debug line; a message
// whose start lies before the part read is left out.
class EarlierMessagesLoader final : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxMessages = 50;
    static constexpr qint64 MaxBytesRead = 16 * 1024 * 1024;
    static constexpr qint64 MaxBytesPerLog = 4 * 1024 * 1024;
    static constexpr int MaxLogsRead = 100;

    explicit EarlierMessagesLoader(QObject *parent = nullptr);
    ~EarlierMessagesLoader() override;
    Q_DISABLE_COPY_MOVE(EarlierMessagesLoader)

    // Loads on a worker thread; loaded() follows from the event loop, never from
    // within this call. A new start drops the result of the one before.
    void start(const QString &logsFolder, const QDateTime &sessionStart = {});

    // The loading itself, on the calling thread. With a valid `sessionStart` only
    // logs begun before it are read, so that the log of the session that has just
    // started is never among them.
    static QList<EarlierMessage> load(const QString &logsFolder,
                                      const QDateTime &sessionStart = {});

signals:
    void loaded(const QList<EarlierMessage> &messages);

private:
    QFutureWatcher<QList<EarlierMessage>> m_watcher;
};

} // namespace quillet

Q_DECLARE_METATYPE(quillet::EarlierMessage)
