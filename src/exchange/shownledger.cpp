#include "exchange/shownledger.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/support.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// Generous: a hundred thousand names take about seven megabytes.
constexpr qint64 MaxLedgerSize = 256 * 1024 * 1024;

QString stableFolderPath(const QString &folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

ShownLedger::ShownLedger(const QString &folder)
    : m_folder(stableFolderPath(folder)), m_filePath(filePathFor(folder))
{
    load();
}

QString ShownLedger::filePathFor(const QString &folder)
{
    const QByteArray key = QFile::encodeName(stableFolderPath(folder));
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32));
    return xdgStateHome() + u"/quillet-im/shown/"_s + name;
}

void ShownLedger::load()
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxLedgerSize)
        return;
    const QByteArray bytes = file.readAll();
    qsizetype start = 0;
    for (qsizetype end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n', start)) {
        const QByteArrayView line = QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
        if (!line.isEmpty() && line[0] != '#')
            m_names.insert(QByteArray::fromPercentEncoding(line.toByteArray()));
    }
}

Status ShownLedger::add(const QByteArray &name)
{
    if (m_names.contains(name))
        return {};
    const QString folder = parentFolder(m_filePath);
    if (const Status made = makePath(folder); !made)
        return made;
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return Error::make(ErrorCode::WriteFailed);
    QByteArray line;
    if (file.size() == 0) {
        line = "# " + QFile::encodeName(m_folder).toPercentEncoding("/ ") + '\n';
    } else if (file.seek(file.size() - 1) && file.peek(1) != "\n") {
        // The torn line of an interrupted write must not swallow this one.
        line = "\n";
    }
    // Percent-encoding keeps any byte of a file name, line ends included, on one line.
    line += name.toPercentEncoding(" {}-") + '\n';
    if (file.write(line) != line.size() || !file.flush())
        return Error::make(ErrorCode::WriteFailed);
    m_names.insert(name);
    return {};
}

} // namespace quillet
