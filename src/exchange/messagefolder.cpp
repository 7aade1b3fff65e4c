#include "exchange/messagefolder.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "exchange/folderwatcher.h"
#include "exchange/shownledger.h"
#include "platform/dirscan.h"
#include "platform/fileattributes.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 ShownAttributes = DosAttribute::Hidden | DosAttribute::System;

MessageFolder::MarkStore chosenStore(MessageFolder::MarkStore requested)
{
#ifdef QUILLET_TEST_HOOKS
    if (qEnvironmentVariable("QUILLET_SHOWN_MARKS") == "ledger"_L1)
        return MessageFolder::MarkStore::Ledger;
#endif
    return requested;
}

// Where an extended attribute cannot be written, the ledger keeps the mark.
bool ledgerTakesOver(int error)
{
    return error == ENOTSUP || error == EROFS || error == EACCES || error == EPERM;
}

#ifdef QUILLET_TEST_HOOKS
int markErrorForTests = 0;
#endif

bool sameFolder(const QString &a, const QString &b)
{
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

} // namespace

bool isMessageFileName(const char *name, qsizetype length)
{
    if (length <= 5 || name[0] == '.')
        return false;
    const char *extension = name + length - 5;
    return extension[0] == '.' && (extension[1] | 0x20) == 'q' && (extension[2] | 0x20) == 'l' &&
           (extension[3] | 0x20) == 'i' && (extension[4] | 0x20) == 'm';
}

MessageFolder::MessageFolder(const QString &folder, MarkStore store)
    : m_folder(folder), m_encodedFolder(QFile::encodeName(folder)), m_store(chosenStore(store))
{
    if (!m_encodedFolder.endsWith('/'))
        m_encodedFolder += '/';
    // An existing ledger counts in either mode: marks made there stay marks.
    if (m_store == MarkStore::Ledger || QFile::exists(ShownLedger::filePathFor(folder)))
        ledger();
}

MessageFolder::~MessageFolder() = default;

QStringList MessageFolder::listUnseen(FolderWatcher *watcher)
{
    if (!needsFullListing(watcher)) {
        relook(watcher->takeChangedNames());
        return sortedPaths();
    }
    startFullListing(watcher);
    QElapsedTimer clock;
    clock.start();
    while (!continueFullListing(clock, std::numeric_limits<qint64>::max())) {
    }
    return sortedPaths();
}

bool MessageFolder::needsFullListing(const FolderWatcher *watcher) const
{
    return !(watcher && watcher == m_cacheWatcher && watcher->isWatching() &&
             watcher->epoch() == m_cacheEpoch);
}

void MessageFolder::startFullListing(FolderWatcher *watcher)
{
    m_cacheWatcher = nullptr;
    if (watcher && watcher->isWatching() && sameFolder(watcher->path(), m_folder)) {
        // Changes drained until now are seen by the listing that follows;
        // later ones stay queued for the next poll.
        watcher->takeChangedNames();
        m_cacheWatcher = watcher;
        m_cacheEpoch = watcher->epoch();
    }
    listFully();
}

#ifdef QUILLET_TEST_HOOKS
void MessageFolder::setMarkErrorForTests(int error)
{
    markErrorForTests = error;
}
#endif

Status MessageFolder::markShown(const QString &path)
{
#ifdef QUILLET_TEST_HOOKS
    if (markErrorForTests != 0)
        return Error::fromErrno(markErrorForTests);
#endif
    const QByteArray encoded = QFile::encodeName(path);
    const QByteArray name = nameInFolder(encoded);
    if (m_store == MarkStore::Automatic) {
        const int error = writeDosAttributes(encoded.constData(), DosAttribute::Hidden);
        if (error == 0 || error == ENOENT)
            m_unseen.remove(name);
        if (error == 0)
            return {};
        if (!ledgerTakesOver(error))
            return Error::fromErrno(error);
    }
    if (lstatType(encoded.constData()) == EntryType::Missing) {
        m_unseen.remove(name);
        return Error::fromErrno(ENOENT);
    }
    const Status recorded = ledger().add(QFile::encodeName(QFileInfo(path).fileName()));
    if (recorded)
        m_unseen.remove(name);
    return recorded;
}

void MessageFolder::listFully()
{
    ++m_fullListings;
    m_unseen.clear();
    scanNames();
}

// The names first, the marks (one extended attribute read each) after.
void MessageFolder::scanNames()
{
    m_toExamine.clear();
    m_examined = 0;
    DirScanner scanner(m_encodedFolder);
    const char *name = nullptr;
    qsizetype length = 0;
    EntryType type = EntryType::Unknown;
    while (scanner.next(name, length, type)) {
        if (!isMessageFileName(name, length))
            continue;
        if (type == EntryType::Unknown)
            type = scanner.typeOf(name);
        if (type == EntryType::Regular)
            m_toExamine.append(QByteArray(name, length));
    }
}

bool MessageFolder::continueFullListing(const QElapsedTimer &clock, qint64 budgetMs)
{
    QByteArray path = m_encodedFolder;
    const qsizetype folderLength = path.size();
    for (int sinceCheck = 0; m_examined < m_toExamine.size(); ++sinceCheck) {
        // Checked every few files: the clock costs about as much as a file.
        if (sinceCheck == 64) {
            if (clock.elapsed() >= budgetMs)
                return false;
            sinceCheck = 0;
        }
        const QByteArray &name = m_toExamine.at(m_examined++);
        path.truncate(folderLength);
        path.append(name);
        if (isUnseen(path, name))
            m_unseen.insert(name);
    }
    m_toExamine.clear();
    m_examined = 0;
    return true;
}

void MessageFolder::relook(const QSet<QByteArray> &names)
{
    QByteArray path = m_encodedFolder;
    const qsizetype folderLength = path.size();
    for (const QByteArray &name : names) {
        if (!isMessageFileName(name.constData(), name.size()))
            continue;
        path.truncate(folderLength);
        path.append(name);
        if (lstatType(path.constData()) == EntryType::Regular && isUnseen(path, name))
            m_unseen.insert(name);
        else
            m_unseen.remove(name);
    }
}

bool MessageFolder::isUnseen(const QByteArray &path, const QByteArray &name)
{
    quint32 attributes = 0;
    const int error = readDosAttributes(path.constData(), attributes);
    if (error == ENOENT || (attributes & ShownAttributes) || inLedger(name))
        return false;
    // A name that does not survive the trip through text could never be read
    // or marked by its listed path, and would come back after every change.
    return QFile::encodeName(QFile::decodeName(name)) == name;
}

bool MessageFolder::inLedger(const QByteArray &name)
{
    return m_ledger && !m_ledger->isEmpty() && m_ledger->contains(name);
}

ShownLedger &MessageFolder::ledger()
{
    if (!m_ledger)
        m_ledger = std::make_unique<ShownLedger>(m_folder);
    return *m_ledger;
}

QByteArray MessageFolder::nameInFolder(const QByteArray &path) const
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray() : path.left(slash + 1);
    if (!sameFolder(QFile::decodeName(parent), m_folder))
        return {};
    return path.mid(slash + 1);
}

QStringList MessageFolder::sortedPaths() const
{
    QStringList paths;
    paths.reserve(m_unseen.size());
    for (const QByteArray &name : m_unseen)
        paths.append(QFile::decodeName(m_encodedFolder + name));
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace quillet
