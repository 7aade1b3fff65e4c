#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The Windows single-byte code pages that RTF documents name with \ansicpg
// and \fcharset, decoded through ICU into tables for byte-at-a-time use.

namespace quillet {

// The upper half (bytes 0x80-0xFF) of a code page; null for one not known here.
const std::array<char16_t, 128> *singleByteCodePage(int codePage);
// The code page of an RTF font character set; 0 when none applies.
int codePageOfCharset(int charset);
// Decodes bytes by a code page; an unknown code page decodes as 1252.
QString decodeSingleByte(const QByteArray &bytes, int codePage);

} // namespace quillet
