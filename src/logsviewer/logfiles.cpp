#include "logsviewer/logfiles.h"

#include "platform/dirscan.h"
#include "platform/fileattributes.h"

#include <QFile>

namespace quillet {

using namespace Qt::StringLiterals;

Result<QStringList> listNormalFiles(const QString &folder, const QString &extension)
{
    // An empty folder name would list the working directory.
    if (folder.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    const QByteArray encodedFolder = QFile::encodeName(folder);
    DirScanner scanner(encodedFolder);
    if (scanner.error())
        return Error::fromErrno(scanner.error());

    QStringList names;
    const char *entry = nullptr;
    qsizetype length = 0;
    EntryType type = EntryType::Unknown;
    while (scanner.next(entry, length, type)) {
        const QString name = QFile::decodeName(QByteArray(entry, length));
        if (name.size() <= extension.size() || !name.endsWith(extension, Qt::CaseInsensitive) ||
            name.startsWith('.'_L1))
            continue;
        if (type == EntryType::Unknown)
            type = scanner.typeOf(entry);
        if (type != EntryType::Regular)
            continue;
        // Read by path: a file the user may not open is still judged by its attribute.
        quint32 attributes = 0;
        readDosAttributes((encodedFolder + '/' + QByteArray(entry, length)).constData(),
                          attributes);
        if (!(attributes & (DosAttribute::Hidden | DosAttribute::System)))
            names.append(name);
    }
    return names;
}

} // namespace quillet
