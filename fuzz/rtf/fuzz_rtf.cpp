#include "richtext/rtfreader.h"
#include "richtext/rtftextscanner.h"

#include <QByteArray>
#include <QTextBlock>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

using namespace quillet;

// Any bytes: readRtf must give an error or a document, never crash or hang, and
// the text scanner must give exactly that document's plain text, or the same error.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray rtf =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QTextDocument document;
    const Status status = readRtf(rtf, &document);
    if (!status.ok() && !document.isEmpty())
        __builtin_trap(); // a refused input leaves nothing behind
    qsizetype characters = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        characters += block.length();
    if (characters > static_cast<qsizetype>(size) + 1)
        __builtin_trap(); // every character comes from at least one byte

    const Result<QString> text = RtfTextScanner::plainText(rtf);
    if (text.ok() != status.ok())
        __builtin_trap();
    if (!text.ok() && text.error().number != status.error().number)
        __builtin_trap();
    if (text.ok() && text.value() != document.toPlainText())
        __builtin_trap(); // the scanner and the reader disagree on the text
    return 0;
}
