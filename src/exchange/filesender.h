#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

#include "core/error.h"

namespace quillet {

// What to send: files and a caption (empty for none) from this user.
struct FileSendRequest
{
    QString exchangeFolder;
    QString senderName;
    QString caption;
    QString myGuid;
    QStringList sources; // files the user chose; links followed
};

// Refuses what cannot be sent before anything is copied: a source that is
// missing or no regular file, a file over 2 GiB, a name that receivers refuse,
// two files of one name. Returns the bytes to copy.
Result<qint64> checkSendSources(const QStringList &sources);

using SendProgress = std::function<void(qint64 done, qint64 total)>;

// Copies each file into Files/<GUID>/ of the exchange folder under a temporary
// name, renames it in when it is whole, and only then writes the message file.
// A cancelled or failed send leaves no message, no file and no GUID folder.
// Returns the message file's path.
Result<QString> sendFiles(const FileSendRequest &request, const std::atomic_bool &cancel,
                          const SendProgress &progress);

// sendFiles in a thread of its own; the signals come to the event loop.
class FileSendJob final : public QObject
{
    Q_OBJECT

public:
    explicit FileSendJob(FileSendRequest request, QObject *parent = nullptr);
    // Cancels a send still running and waits for it.
    ~FileSendJob() override;

    void start();
    // From any thread; the job then fails with SendCancelled.
    void cancel() { m_cancel = true; }

signals:
    void progressed(qint64 done, qint64 total);
    void finished(const QString &messagePath);
    void failed(const quillet::Error &error);

private:
    FileSendRequest m_request;
    std::atomic_bool m_cancel = false;
    QThread *m_thread = nullptr;
};

} // namespace quillet
