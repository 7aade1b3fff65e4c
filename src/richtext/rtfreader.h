#pragma once

#include "core/error.h"

#include <QByteArray>

class QTextDocument;

namespace quillet {

// Font sizes in half points, as \fs gives them, that the reader and the writer
// keep: a log can ask for no size that the writer would not write.
constexpr int MinFontHalfPoints = 1;
constexpr int MaxFontHalfPoints = 32767;

// Reads RTF into `document` (which is cleared first), tolerant as RTF readers
// should be: unknown control words and destinations are skipped, text in \'hh
// bytes is decoded by the document's code page, and a truncated document or one
// without its final brace gives what could be read. Input that is not RTF, or
// nests groups deeper than any real document, is refused with an error and leaves
// the document empty. Never recurses, so no input can exhaust the stack. The text
// of a hyperlink field to an openable address is an anchor (QTextCharFormat's
// anchor and anchorHref), underlined, in its colour or the palette's link colour.
Status readRtf(const QByteArray &rtf, QTextDocument *document);

} // namespace quillet
