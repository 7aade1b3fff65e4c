#pragma once

#include "core/support.h"

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <climits>
#include <string_view>
#include <vector>

// What the full reader and the text scanner share, so that both read exactly the
// same control words and skip exactly the same groups.

namespace quillet {

// Destinations whose content is never text of the document.
bool isSkippedRtfDestination(std::string_view word);

// The character a symbol word such as \emdash or \lquote stands for; 0 for any
// other word.
char16_t rtfSymbolWordUnit(std::string_view word);

constexpr int DefaultRtfHalfPoints = 24;

// The character attributes a run carries: the reader starts a new run when they
// change, and the text scanner follows the same runs.
struct RtfCharState
{
    int halfPoints = DefaultRtfHalfPoints;
    int colour = 0;
    int font = -1;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    friend bool operator==(const RtfCharState &, const RtfCharState &) = default;
};

// Control words are ASCII letters with an optional ASCII number, whatever the locale.
constexpr bool isRtfLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool isRtfDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Appends one UTF-16 unit of \uN: a surrogate pair may come as two of them, with a
// high surrogate waiting in `pendingHigh`; a surrogate without its partner becomes
// U+FFFD.
inline void appendUtf16Unit(QString &text, char16_t unit, char16_t &pendingHigh)
{
    if (QChar::isLowSurrogate(unit) && pendingHigh != 0) {
        text.append(QChar(pendingHigh));
        text.append(QChar(unit));
        pendingHigh = 0;
        return;
    }
    if (pendingHigh != 0) {
        text.append(QChar::ReplacementCharacter);
        pendingHigh = 0;
    }
    if (QChar::isHighSurrogate(unit))
        pendingHigh = unit;
    else if (QChar::isLowSurrogate(unit))
        text.append(QChar::ReplacementCharacter);
    else
        text.append(QChar(unit));
}

// Real documents nest a few dozen groups at most; anything far deeper is hostile.
constexpr int MaxRtfDepth = 256;
constexpr int MaxRtfWordLength = 32;
constexpr int MaxRtfParameterDigits = 10;

enum class RtfDestination : quint8
{
    Text,
    FontTable,
    ColourTable,
    Skip,
};

// The walk through control sequences and groups, shared by the reader and the text
// scanner so that both cut any input into the same tokens. `Walker` derives from it
// and has controlWord(word, hasParameter, parameter), textByte(char),
// textUnit(char16_t) and endParagraph(); `Group` (what a group inherits and restores
// on its end) has a `destination`.
template <class Walker, class Group> class RtfLexer
{
protected:
    explicit RtfLexer(QByteArrayView rtf) : m_data(rtf.data()), m_size(rtf.size()) {}

    Group &state() { return m_stack.back(); }

    // A new group starts with its parent's state; false when nested too deep.
    bool openGroup()
    {
        if (m_stack.size() >= std::size_t(MaxRtfDepth))
            return false;
        m_skipCharacters = 0;
        if (m_stack.empty())
            m_stack.emplace_back();
        else
            m_stack.push_back(state());
        m_ignorable = false;
        return true;
    }

    // Reads what follows a backslash: a control word with its parameter, or a
    // control symbol.
    void readControlSequence()
    {
        if (m_pos >= m_size)
            return;
        if (!isRtfLetter(m_data[m_pos])) {
            controlSymbol(m_data[m_pos++]);
            return;
        }
        const qsizetype wordStart = m_pos;
        while (m_pos < m_size && isRtfLetter(m_data[m_pos]))
            ++m_pos;
        const std::string_view word(m_data + wordStart, std::size_t(m_pos - wordStart));
        bool negative = false;
        if (m_pos + 1 < m_size && m_data[m_pos] == '-' && isRtfDigit(m_data[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        qint64 value = 0;
        int digits = 0;
        while (m_pos < m_size && isRtfDigit(m_data[m_pos])) {
            if (digits++ < MaxRtfParameterDigits)
                value = value * 10 + (m_data[m_pos] - '0');
            ++m_pos;
        }
        if (m_pos < m_size && m_data[m_pos] == ' ')
            ++m_pos; // the delimiter belongs to the control word
        value = std::clamp<qint64>(negative ? -value : value, INT_MIN, INT_MAX);
        if (word.size() <= std::size_t(MaxRtfWordLength))
            walker().controlWord(word, digits > 0, int(value));
    }

    // \binN: binary data, skipped whole wherever it stands.
    void skipBinary(bool hasParameter, int parameter)
    {
        const qint64 length = hasParameter ? qMax(0, parameter) : 0;
        m_pos += qMin<qint64>(length, m_size - m_pos);
        consumesSkippedCharacter();
    }

    // After \uN the next characters are the fallback for readers without Unicode.
    bool consumesSkippedCharacter()
    {
        if (m_skipCharacters <= 0)
            return false;
        --m_skipCharacters;
        return true;
    }

    const char *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    bool m_ignorable = false; // \* seen: the next word names a destination to skip
    int m_skipCharacters = 0; // fallback characters left after \uN
    std::vector<Group> m_stack;

private:
    Walker &walker() { return static_cast<Walker &>(*this); }

    void controlSymbol(char symbol)
    {
        if (symbol == '*') {
            m_ignorable = true;
            return;
        }
        const RtfDestination destination = state().destination;
        if (destination == RtfDestination::Skip)
            return;
        switch (symbol) {
        case '\'':
            if (const int value = readHexByte(); value >= 0 && !consumesSkippedCharacter())
                walker().textByte(char(value));
            return;
        case '\\':
        case '{':
        case '}':
            if (!consumesSkippedCharacter())
                walker().textByte(symbol);
            return;
        case '~':
            walker().textUnit(0x00A0);
            return;
        case '_':
            walker().textUnit(0x2011);
            return;
        case '\r':
        case '\n':
            if (destination == RtfDestination::Text)
                walker().endParagraph();
            return;
        default:
            return; // \- (optional hyphen), \| and others show nothing
        }
    }

    // The two hex digits of \'hh; -1 (nothing consumed past a bad digit) when not.
    int readHexByte()
    {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            const int digit = m_pos < m_size ? hexDigit(m_data[m_pos]) : -1;
            if (digit < 0)
                return -1;
            value = value * 16 + digit;
            ++m_pos;
        }
        return value;
    }
};

} // namespace quillet
