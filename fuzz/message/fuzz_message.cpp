// Reads arbitrary bytes as a message file: from memory and through a real file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/textfile.h"
#include "exchange/messagefile.h"

using namespace quillet;

namespace {

const QString MyGuid = QStringLiteral("{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}");

void check(const Result<ReceivedMessage> &message)
{
    if (!message.ok()) {
        if (message.error().description.isEmpty())
            std::abort();
        return;
    }
    // Whatever was accepted names a real moment and has its line breaks as CR LF.
    if (!messageTimeToDateTime(message.value().utcTime, Qt::UTC).ok())
        std::abort();
    const QString &text = message.value().text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r')))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A memory-backed folder where there is one: thousands of runs each write a file.
    static QTemporaryDir folder(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                    ? QStringLiteral("/dev/shm/fuzz_message-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/fuzz_message-XXXXXX"));
    static const QString path = folder.filePath(QStringLiteral("fuzz.QLIM"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const Result<QString> text = TextFile::decode(bytes);
    const Result<ReceivedMessage> parsed = text.ok() ? parseMessageContent(text.value(), MyGuid)
                                                     : Result<ReceivedMessage>(text.error());
    check(parsed);

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(bytes);
    file.close();
    const Result<ReceivedMessage> read = readMessageFile(path, MyGuid);
    check(read);
    // Reading the file and parsing its bytes in memory agree.
    if (read.ok() != parsed.ok())
        std::abort();
    if (read.ok() && (read.value().text != parsed.value().text ||
                      read.value().senderName != parsed.value().senderName ||
                      read.value().kind != parsed.value().kind))
        std::abort();
    if (!read.ok() && read.error().number != parsed.error().number)
        std::abort();
    // Nothing is ever written back.
    if (QFile(path).size() != qint64(size))
        std::abort();
    return 0;
}
