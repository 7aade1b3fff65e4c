#include "richtext/codepages.h"

#include <QStringDecoder>

#include <array>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

using Half = std::array<char16_t, 128>;

constexpr int KnownCodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

// The upper half as ICU decodes it. Bytes a code page leaves undefined (ICU
// gives U+FFFD or a private-use character) map to the code point of the same
// number, as Windows itself decodes them.
Half decodedUpperHalf(int codePage)
{
    QByteArray bytes(128, Qt::Uninitialized);
    for (int i = 0; i < 128; ++i)
        bytes[i] = char(0x80 + i);
    QStringDecoder decoder(("windows-"_ba + QByteArray::number(codePage)).constData(),
                           QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    Half half{};
    for (int i = 0; i < 128; ++i) {
        const char16_t unit = i < text.size() ? text.at(i).unicode() : u'\xFFFD';
        const bool undefined = unit == u'\xFFFD' || (unit >= 0xE000 && unit <= 0xF8FF);
        half[i] = undefined ? char16_t(0x80 + i) : unit;
    }
    return half;
}

} // namespace

const std::array<char16_t, 128> *singleByteCodePage(int codePage)
{
    // Built once; afterwards only read, from any thread.
    static const std::array<Half, std::size(KnownCodePages)> halves = [] {
        std::array<Half, std::size(KnownCodePages)> all{};
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = decodedUpperHalf(KnownCodePages[i]);
        return all;
    }();
    for (std::size_t i = 0; i < std::size(KnownCodePages); ++i) {
        if (KnownCodePages[i] == codePage)
            return &halves[i];
    }
    return nullptr;
}

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 0: // ANSI
    case 1: // default
    case 2: // symbol: the bytes stand for themselves
        return 1252;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        return 0;
    }
}

QString decodeSingleByte(const QByteArray &bytes, int codePage)
{
    const std::array<char16_t, 128> *half = singleByteCodePage(codePage);
    if (half == nullptr)
        half = singleByteCodePage(1252);
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text.append(QChar(value < 0x80 ? char16_t(value) : (*half)[value - 0x80]));
    }
    return text;
}

} // namespace quillet
