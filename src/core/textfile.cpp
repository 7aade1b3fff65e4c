#include "core/textfile.h"

#include "core/support.h"

#include "platform/files.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

Error readError(int error)
{
    switch (error) {
    case NotRegularFileError:
        return Error::make(ErrorCode::NotRegularFile);
    case FileTooLargeError:
        return Error::make(ErrorCode::FileTooLarge);
    default:
        return Error::fromErrno(error);
    }
}

} // namespace

Result<QByteArray> TextFile::readBytes(const QString &path, qint64 maxSize)
{
    if (path.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    QByteArray bytes;
    if (const int error = readFile(QFile::encodeName(path), maxSize, bytes))
        return readError(error);
    return bytes;
}

Status FileReader::open(const QString &path)
{
    if (path.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    if (const int error = openRegularFile(QFile::encodeName(path), m_fd, m_size))
        return readError(error);
    return {};
}

Result<QByteArray> FileReader::read(qint64 offset, qint64 length) const
{
    QByteArray bytes;
    if (const int error = readFileAt(m_fd.get(), offset, length, bytes))
        return readError(error);
    return bytes;
}

Result<QString> TextFile::decode(const QByteArray &bytes)
{
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    qsizetype bomLength = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bomLength = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringConverter::Utf16LE;
        bomLength = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringConverter::Utf16BE;
        bomLength = 2;
    }
    const QByteArrayView body = QByteArrayView(bytes).sliced(bomLength);
    if (encoding != QStringConverter::Utf8 && body.size() % 2 != 0)
        return Error::make(ErrorCode::InvalidEncoding);
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return Error::make(ErrorCode::InvalidEncoding);
    return text;
}

QByteArray TextFile::encode(const QString &text)
{
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

Result<QString> TextFile::readText(const QString &path)
{
    Result<QByteArray> bytes = readBytes(path);
    if (!bytes)
        return bytes.error();
    return decode(bytes.value());
}

Status TextFile::writeText(const QString &path, const QString &text)
{
    return writeAtomically(path, encode(text));
}

QString TextFile::temporaryNameFor(const QString &path)
{
    const QString suffix = QString::number(QRandomGenerator::global()->generate64(), 36);
    const QString name = '.'_L1 + fileNameOf(path) + '.'_L1 + suffix + u".tmp"_s;
    // Joined by hand: joinPath would take a '\\' in the name for a separator.
    const QString folder = parentFolder(path);
    if (folder.isEmpty())
        return name;
    return folder.endsWith('/'_L1) ? folder + name : folder + '/'_L1 + name;
}

Status TextFile::writeAtomically(const QString &path, const QByteArray &bytes, Access access,
                                 Existing existing)
{
    if (path.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    if (const int error =
            writeFileDurably(QFile::encodeName(path), QFile::encodeName(temporaryNameFor(path)),
                             bytes, access == Access::OwnerOnly, existing == Existing::Keep))
        return Error::fromErrno(error);
    return {};
}

} // namespace quillet
