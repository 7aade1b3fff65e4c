#pragma once

#include <memory>

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include "core/error.h"

namespace quillet {

class FolderWatcher;
class ShownLedger;

// The unseen enumeration and the shown marks of one exchange folder.
//
// A message file is a regular file named "*.QLIM" (any letter case), not
// starting with "." and without the hidden or system attribute. Marking it
// shown sets its attributes to exactly "hidden"; where the file system keeps
// no extended attributes (or refuses to write them) the mark goes to a local
// ledger instead, so nothing is ever shown twice.
//
// With a watcher, the first listing reads the whole folder and later ones
// look again only at the names the watcher saw change; whenever the watcher
// may have missed events, the folder is read whole once more. Both give the
// same result.
class MessageFolder final
{
public:
    enum class MarkStore
    {
        Automatic, // extended attributes, the ledger where they cannot be written
        Ledger,    // the ledger only (in test builds also QUILLET_SHOWN_MARKS=ledger)
    };

    explicit MessageFolder(const QString &folder, MarkStore store = MarkStore::Automatic);
    ~MessageFolder();
    Q_DISABLE_COPY_MOVE(MessageFolder)

    // Full paths, ascending name order; watcher may be null (full listing).
    // Pass the started watcher from the first listing on and call this after
    // its hasChanged() answered true: the listing then looks only at
    // the names that poll drained.
    QStringList listUnseen(FolderWatcher *watcher);
    // The same in parts, for callers that must not pause long: whether the next
    // listing with `watcher` reads the whole folder; if so, startFullListing reads
    // the names and continueFullListing their marks until `budgetMs` have passed
    // on `clock`, true once done. unseenPaths() is then what listUnseen gives.
    bool needsFullListing(const FolderWatcher *watcher) const;
    void startFullListing(FolderWatcher *watcher);
    bool continueFullListing(const QElapsedTimer &clock, qint64 budgetMs);
    QStringList unseenPaths() const { return sortedPaths(); }
    Status markShown(const QString &path);

    QString folder() const { return m_folder; }
    MarkStore markStore() const { return m_store; }
    // How many listings read the whole folder; for tests and benchmarks.
    int fullListings() const { return m_fullListings; }

#ifdef QUILLET_TEST_HOOKS
    // Every mark fails with this errno (EIO, ENOSPC...) until set back to 0.
    static void setMarkErrorForTests(int error);
#endif

private:
    void listFully();
    void scanNames();
    void relook(const QSet<QByteArray> &names);
    bool isUnseen(const QByteArray &path, const QByteArray &name);
    bool inLedger(const QByteArray &name);
    ShownLedger &ledger();
    QByteArray nameInFolder(const QByteArray &path) const;
    QStringList sortedPaths() const;

    QString m_folder;
    QByteArray m_encodedFolder; // with a trailing slash
    MarkStore m_store;
    std::unique_ptr<ShownLedger> m_ledger;
    QSet<QByteArray> m_unseen;
    QList<QByteArray> m_toExamine; // names of a full listing whose marks are not read yet
    qsizetype m_examined = 0;
    const FolderWatcher *m_cacheWatcher = nullptr;
    quint64 m_cacheEpoch = 0;
    int m_fullListings = 0;
};

// "*.QLIM" in any letter case, not hidden by a leading ".".
bool isMessageFileName(const char *name, qsizetype length);

} // namespace quillet
