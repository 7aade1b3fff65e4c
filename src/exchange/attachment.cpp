#include "exchange/attachment.h"

#include <optional>

#include "core/support.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr QChar ValueSeparator = '\t'_L1;
constexpr QLatin1StringView RecordTag = "files/"_L1;
constexpr int RecordVersion = 1;
constexpr QLatin1StringView FilesFolder = "Files"_L1;
constexpr int FileValueCount = 4; // path, size, SHA-256, type
constexpr qsizetype Sha256Size = 32;

bool isDigit(QChar c)
{
    return c >= '0'_L1 && c <= '9'_L1;
}

// Plain decimal: digits only, no sign, no leading zero, at most `max`.
std::optional<qint64> parseCount(QStringView text, qint64 max)
{
    if (text.isEmpty() || text.size() > 19 || (text.size() > 1 && text[0] == '0'_L1))
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > max)
            return std::nullopt;
    }
    return value;
}

int lowerHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    return u >= 'a' && u <= 'f' ? u - 'a' + 10 : -1;
}

// Exactly 64 lower-case hexadecimal digits.
std::optional<QByteArray> parseSha256(QStringView text)
{
    if (text.size() != Sha256Size * 2)
        return std::nullopt;
    QByteArray bytes(Sha256Size, Qt::Uninitialized);
    for (qsizetype i = 0; i < Sha256Size; ++i) {
        const int high = lowerHexDigit(text[2 * i]);
        const int low = lowerHexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[i] = char(high << 4 | low);
    }
    return bytes;
}

// The restricted names of MIME types: type "/" subtype, ASCII letters, digits
// and a few marks, each part beginning with a letter or digit.
bool isMimeTypePart(QStringView part)
{
    if (part.isEmpty() || part.size() > 127 || !part[0].isLetterOrNumber())
        return false;
    for (QChar c : part) {
        const char16_t u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || isDigit(c);
        if (!plain && !u"!#$&^_.+-"_s.contains(c))
            return false;
    }
    return true;
}

bool isMimeType(QStringView text)
{
    const qsizetype slash = text.indexOf('/'_L1);
    return slash > 0 && isMimeTypePart(text.left(slash)) && isMimeTypePart(text.mid(slash + 1));
}

// "{8-4-4-4-12}" in upper-case hexadecimal, as the program makes message GUIDs.
bool isMessageGuid(QStringView text)
{
    static const QString shape = u"{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"_s;
    if (text.size() != shape.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (shape[i] == 'x'_L1 ? !hex : text[i] != shape[i])
            return false;
    }
    return true;
}

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

int checkCharacters(QStringView text)
{
    for (QChar c : text) {
        if (isControl(c))
            return ErrorCode::AttachmentControlCharacter;
        if (c == '\\'_L1)
            return ErrorCode::AttachmentBackslash;
    }
    return 0;
}

// 0 or the error code that refuses `path`.
int checkAttachmentPath(QStringView path)
{
    if (const int error = checkCharacters(path))
        return error;
    if (path.startsWith('/'_L1))
        return ErrorCode::AttachmentAbsolutePath;
    const QList<QStringView> parts = path.split('/'_L1);
    if (parts.contains(u".."_s))
        return ErrorCode::AttachmentParentStep;
    if (parts.size() != 3 || parts[0] != FilesFolder || !isMessageGuid(parts[1]))
        return ErrorCode::AttachmentOutsideFiles;
    return checkAttachmentName(parts[2]);
}

Attachment parseFile(QStringView field)
{
    Attachment attachment;
    const QList<QStringView> values = field.split(ValueSeparator);
    // Values after the fourth are later additions that this version ignores.
    if (values.size() < FileValueCount) {
        attachment.error = Error::make(ErrorCode::AttachmentRecordBroken);
        return attachment;
    }
    attachment.path = values[0].toString();
    const std::optional<qint64> size = parseCount(values[1], MaxAttachmentSize);
    const std::optional<QByteArray> sha256 = parseSha256(values[2]);
    int error = checkAttachmentPath(values[0]);
    if (!error && !size)
        error = ErrorCode::AttachmentBadSize;
    if (!error && !sha256)
        error = ErrorCode::AttachmentBadHash;
    if (!error && !isMimeType(values[3]))
        error = ErrorCode::AttachmentBadType;
    if (error) {
        attachment.error = Error::make(error);
        return attachment;
    }
    attachment.size = *size;
    attachment.sha256 = *sha256;
    attachment.type = values[3].toString().toLower();
    return attachment;
}

QList<Attachment> recordError(int code)
{
    Attachment broken;
    broken.error = Error::make(code);
    return {broken};
}

} // namespace

QString Attachment::name() const
{
    return path.mid(path.lastIndexOf('/'_L1) + 1);
}

QString attachmentFolder(const QString &messageGuid)
{
    return FilesFolder + '/'_L1 + messageGuid;
}

QStringList attachmentFields(const QList<Attachment> &attachments)
{
    if (attachments.isEmpty())
        return {};
    QStringList fields{RecordTag + QString::number(RecordVersion) + ValueSeparator +
                       QString::number(attachments.size())};
    for (const Attachment &a : attachments) {
        fields += QStringList{a.path, QString::number(a.size),
                              QString::fromLatin1(a.sha256.toHex()), a.type}
                      .join(ValueSeparator);
    }
    return fields;
}

QList<Attachment> parseAttachmentFields(const QList<QStringView> &fields)
{
    if (fields.isEmpty() || !fields[0].startsWith(RecordTag))
        return {};
    const QList<QStringView> header = fields[0].mid(RecordTag.size()).split(ValueSeparator);
    const std::optional<qint64> version = parseCount(header[0], 1 << 30);
    if (!version)
        return recordError(ErrorCode::AttachmentRecordBroken);
    if (*version > RecordVersion)
        return recordError(ErrorCode::AttachmentNewerVersion);
    const std::optional<qint64> count =
        header.size() == 2 ? parseCount(header[1], MaxAttachments) : std::nullopt;
    if (!count || *count == 0 || *count >= fields.size())
        return recordError(ErrorCode::AttachmentRecordBroken);
    QList<Attachment> attachments;
    for (qsizetype i = 1; i <= *count; ++i)
        attachments.append(parseFile(fields[i]));
    return attachments;
}

int checkAttachmentName(QStringView name)
{
    if (const int error = checkCharacters(name))
        return error;
    if (name == ".."_L1)
        return ErrorCode::AttachmentParentStep;
    if (name.isEmpty() || name == "."_L1 || name.contains('/'_L1))
        return ErrorCode::AttachmentOutsideFiles;
    return isSyncServiceFile(name) ? int(ErrorCode::AttachmentSyncServiceFile) : 0;
}

bool isSyncServiceFile(QStringView name)
{
    const bool syncthingTemporary =
        (name.startsWith(".syncthing."_L1) || name.startsWith("~syncthing~"_L1)) &&
        name.endsWith(".tmp"_L1);
    const bool nextcloudDownload = name.startsWith('.'_L1) && name.indexOf(".~"_L1, 1) > 0;
    const bool conflictCopy =
        name.contains(".sync-conflict-"_L1) || name.contains(" (conflicted copy "_L1);
    return syncthingTemporary || nextcloudDownload || conflictCopy;
}

QString attachmentSummary(const QList<Attachment> &attachments)
{
    QStringList lines;
    for (const Attachment &a : attachments)
        lines += u"Файл: %1 (%2)"_s.arg(a.name(), formatByteSize(double(a.size)));
    return lines.join("\r\n"_L1);
}

} // namespace quillet
