// Reads arbitrary bytes as the fields after the tenth of a message file: UTF-8,
// split at NUL as the message reader splits them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QStringList>

#include "exchange/attachment.h"

using namespace quillet;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// What an accepted entry promises to everything that uses it.
void checkSound(const Attachment &a)
{
    const QStringList parts = a.path.split(QLatin1Char('/'));
    require(parts.size() == 3 && parts[0] == QLatin1String("Files"));
    require(checkAttachmentName(a.name()) == 0 && !isSyncServiceFile(a.name()));
    require(!a.path.contains(QLatin1Char('\\')) && !parts.contains(QLatin1String("..")));
    for (QChar c : a.path)
        require(c.unicode() >= 0x20 && c.unicode() != 0x7f);
    require(a.size >= 0 && a.size <= MaxAttachmentSize);
    require(a.sha256.size() == 32);
    require(a.type.count(QLatin1Char('/')) == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QStringView> fields = QStringView(text).split(QChar(0));
    const QList<Attachment> parsed = parseAttachmentFields(fields);
    require(parsed.size() <= MaxAttachments);
    QList<Attachment> sound;
    for (const Attachment &a : parsed) {
        if (!a.ok()) {
            require(!a.error.description.isEmpty());
            continue;
        }
        checkSound(a);
        sound.append(a);
    }
    if (sound.isEmpty())
        return 0;
    // What was accepted is written back and read again unchanged.
    const QString written = attachmentFields(sound).join(QChar(0));
    const QList<Attachment> again = parseAttachmentFields(QStringView(written).split(QChar(0)));
    require(again.size() == sound.size());
    for (qsizetype i = 0; i < again.size(); ++i) {
        require(again[i].ok() && again[i].path == sound[i].path && again[i].size == sound[i].size);
        require(again[i].sha256 == sound[i].sha256 && again[i].type == sound[i].type);
    }
    return 0;
}
