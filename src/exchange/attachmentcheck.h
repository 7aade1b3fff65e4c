#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <atomic>

#include "core/error.h"
#include "exchange/attachment.h"
#include "platform/files.h"

namespace quillet {

// Where an attached file stands on this computer. The sync service delivers
// files in any order, so a file is often not there yet, or not whole yet, when
// its message is.
enum class AttachmentState
{
    Missing,  // not there yet
    Arriving, // there, but size or SHA-256 do not match yet
    Ready,    // size and SHA-256 match
    Refused,  // never to be used: a bad entry, a link, a folder, a device or a pipe
};

struct AttachmentStatus
{
    AttachmentState state = AttachmentState::Missing;
    Error why; // for Refused
};

// The error of a platform call's result (an errno value or a platform code).
Error fileError(int code);

// Looks at the file below `exchangeFolder`, never through a link, and hashes it
// when its size matches: this can take seconds, so it runs off the event loop.
// A file whose stamp equals `*unchanged` is taken as arriving without hashing
// it again; after a hash that does not match, `*unchanged` is its stamp.
AttachmentStatus checkAttachment(const QString &exchangeFolder, const Attachment &attachment,
                                 const std::atomic_bool &stop, FileStamp *unchanged = nullptr);

// Checks attachments in a worker thread and reports each state as it changes,
// rechecking the ones not yet ready until they are ready or refused.
class AttachmentChecker final : public QObject
{
    Q_OBJECT

public:
    static constexpr int RecheckIntervalMs = 1000;

    explicit AttachmentChecker(const QString &exchangeFolder, QObject *parent = nullptr);
    ~AttachmentChecker() override;

    // Checks now, then again until the file is ready or refused.
    void watch(const Attachment &attachment);

signals:
    void stateChanged(const QString &path, quillet::AttachmentState state,
                      const quillet::Error &why);

private:
    struct Watched
    {
        Attachment attachment;
        AttachmentStatus status;
        bool reported = false;
        FileStamp unchanged;
    };

    void checkPending();
    void takeResults(const QHash<QString, Watched> &checked);

    QString m_exchangeFolder;
    QHash<QString, Watched> m_pending;
    QThreadPool m_worker;
    QTimer m_recheck;
    std::atomic_bool m_stop = false;
    bool m_checking = false;
};

} // namespace quillet
