// Any chat file path (and any executable path) written into an autostart entry
// must come back unchanged from the entry's Exec line, or be refused.
#include "desktopentryreader.h"
#include "settings/autostartentry.h"

#include <cstdlib>

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The part before the first NUL names the executable, the rest the chat file.
    const qsizetype nul = bytes.indexOf('\0');
    const QString executable =
        nul < 0 ? QStringLiteral("/usr/bin/quillet-im") : QString::fromUtf8(bytes.left(nul));
    const QString chat = QString::fromUtf8(nul < 0 ? bytes : bytes.mid(nul + 1));
    const AutostartEntry entry{chat, executable, {QStringLiteral("/H")},
                               chat, chat,       autostartIconName()};
    const Result<QByteArray> text = desktopEntryText(entry);
    if (!text)
        return 0;
    const auto keys = DesktopEntryReader::parseEntry(text.value());
    if (!keys)
        std::abort();
    const auto exec = DesktopEntryReader::splitExec(keys->value(QStringLiteral("Exec")));
    const QStringList expected = chat.isEmpty()
                                     ? QStringList{executable, QStringLiteral("/H")}
                                     : QStringList{executable, QStringLiteral("/H"), chat};
    if (!exec || *exec != expected)
        std::abort();
    if (keys->value(QStringLiteral("Name")) != chat || keys->value(QStringLiteral("Path")) != chat)
        std::abort();
    return 0;
}
