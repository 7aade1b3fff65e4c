#include "richtext/rtftextscanner.h"

#include "core/support.h"
#include "richtext/codepages.h"
#include "richtext/rtfsyntax.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <string_view>
#include <vector>

// The scanner walks the input exactly as the full reader (rtfreader.cpp) does and
// keeps every piece of state that can change the text, so both give the same text
// for any input; the fuzz target checks that. What only shapes the look (colours,
// alignment, font names) is not kept.

namespace quillet {

namespace {

using Destination = RtfDestination;
using CharState = RtfCharState;

struct GroupState
{
    CharState chars;
    int unicodeSkip = 1;
    Destination destination = Destination::Text;
};

// The control words that change text or its decoding; everything else is Other.
enum class Word : quint8
{
    Other,
    Bin,
    FontTable,
    ColourTable,
    Paragraph,
    Line,
    Tab,
    Unicode,
    UnicodeSkip,
    Plain,
    FontSize,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Colour,
    Font,
    FontCharset,
    CodePage,
    DefaultFont,
    Symbol, // \emdash, \lquote and the like
};

Word wordOf(std::string_view w)
{
    switch (w.size()) {
    case 1:
        switch (w[0]) {
        case 'u':
            return Word::Unicode;
        case 'b':
            return Word::Bold;
        case 'i':
            return Word::Italic;
        case 'f':
            return Word::Font;
        default:
            return Word::Other;
        }
    case 2:
        if (w == "uc")
            return Word::UnicodeSkip;
        if (w == "fs")
            return Word::FontSize;
        if (w == "cf")
            return Word::Colour;
        if (w == "ul")
            return Word::Underline;
        return Word::Other;
    case 3:
        if (w == "par" || w == "row")
            return Word::Paragraph;
        if (w == "tab")
            return Word::Tab;
        if (w == "bin")
            return Word::Bin;
        return Word::Other;
    case 4:
        if (w == "sect" || w == "page")
            return Word::Paragraph;
        if (w == "line")
            return Word::Line;
        if (w == "cell")
            return Word::Tab;
        if (w == "deff")
            return Word::DefaultFont;
        return Word::Other;
    case 5:
        return w == "plain" ? Word::Plain : Word::Other;
    case 6:
        if (w == "ulnone")
            return Word::UnderlineNone;
        if (w == "emdash")
            return Word::Symbol;
        if (w == "endash")
            return Word::Symbol;
        if (w == "bullet")
            return Word::Symbol;
        if (w == "lquote")
            return Word::Symbol;
        if (w == "rquote")
            return Word::Symbol;
        return Word::Other;
    case 7:
        if (w == "fonttbl")
            return Word::FontTable;
        if (w == "ansicpg")
            return Word::CodePage;
        if (w == "emspace" || w == "enspace" || w == "qmspace")
            return Word::Symbol;
        return Word::Other;
    case 8:
        if (w == "colortbl")
            return Word::ColourTable;
        if (w == "fcharset")
            return Word::FontCharset;
        return Word::Other;
    case 9:
        if (w == "ldblquote")
            return Word::Symbol;
        if (w == "rdblquote")
            return Word::Symbol;
        return Word::Other;
    default:
        return Word::Other;
    }
}

// Characters that a document's plain text shows differently: breaks and no-break spaces.
constexpr bool changesInPlainText(char16_t c)
{
    switch (c) {
    case u'\r':
    case u'\n':
    case QChar::Nbsp:
    case QChar::LineSeparator:
    case QChar::ParagraphSeparator:
    case 0xFDD0: // the document's frame marks
    case 0xFDD1:
        return true;
    default:
        return false;
    }
}

// Bytes that end a stretch of plain text.
constexpr std::array<bool, 256> specialBytes = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {'{', '}', '\\', '\r', '\n'})
        table[c] = true;
    return table;
}();

class Scanner final : public RtfLexer<Scanner, GroupState>
{
    friend class RtfLexer<Scanner, GroupState>;

public:
    explicit Scanner(QByteArrayView rtf) : RtfLexer(rtf)
    {
        // Every character comes from at least one byte: the text never grows again.
        m_text.reserve(m_size + 1);
    }

    Status scan(qsizetype start);
    QString takeText() { return std::move(m_text); }

private:
    void closeGroup();
    void controlWord(std::string_view word, bool hasParameter, int parameter);
    void textWord(Word word, bool hasParameter, int parameter);
    void textBytes();
    void textByte(char byte);
    void fontTableByte(char byte);
    void textUnit(char16_t unit);
    void prepareRun();
    void beginBytes();
    void flushBytes();
    void flushRun();
    void endParagraph();
    int codePage() const;

    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    QHash<int, int> m_fontCodePages; // font number -> code page of its charset, 0 for none
    int m_fontNumber = -1;
    int m_fontCharset = -1;
    bool m_fontNamed = false; // the font entry being read has name bytes

    CharState m_runChars;
    QString m_text;
    qsizetype m_runStart = 0;      // where the reader's current run begins in m_text
    qsizetype m_pendingStart = -1; // raw bytes of the run waiting to be decoded, from here
    bool m_pendingHigh = false;    // some of them are above ASCII
    bool m_runChanges = false;     // the run holds characters the plain text shows differently
    char16_t m_highSurrogate = 0;
};

Status Scanner::scan(qsizetype start)
{
    m_pos = start;
    while (m_pos < m_size) {
        switch (m_data[m_pos]) {
        case '{':
            ++m_pos;
            if (!openGroup())
                return Error::make(ErrorCode::RtfTooDeep);
            break;
        case '}':
            ++m_pos;
            closeGroup();
            if (m_stack.empty())
                m_pos = m_size; // anything after the outermost group is not part of the document
            break;
        case '\\':
            ++m_pos;
            readControlSequence();
            break;
        case '\r':
        case '\n':
            ++m_pos;
            break;
        default:
            textBytes();
            break;
        }
    }
    flushRun();
    return {};
}

void Scanner::closeGroup()
{
    m_skipCharacters = 0;
    m_ignorable = false;
    if (state().destination == Destination::FontTable && m_fontNumber >= 0 && m_fontNamed)
        textByte(';'); // an entry may end with its group instead of a semicolon
    m_stack.pop_back();
}

void Scanner::controlWord(std::string_view word, bool hasParameter, int parameter)
{
    const Word id = wordOf(word);
    if (id == Word::Bin) {
        skipBinary(hasParameter, parameter);
        return;
    }
    GroupState &s = state();
    if (s.destination == Destination::Skip)
        return;
    if (m_ignorable) {
        m_ignorable = false;
        s.destination = Destination::Skip;
        return;
    }
    if (id == Word::Other && isSkippedRtfDestination(word)) {
        s.destination = Destination::Skip;
        return;
    }
    if (id == Word::FontTable) {
        s.destination = Destination::FontTable;
        return;
    }
    if (id == Word::ColourTable) {
        s.destination = Destination::ColourTable;
        return;
    }
    if (s.destination == Destination::FontTable) {
        if (id == Word::Font && hasParameter) {
            if (m_fontNumber >= 0 && m_fontNamed)
                textByte(';');
            m_fontNumber = parameter;
            m_fontCharset = -1;
            m_fontNamed = false;
        } else if (id == Word::FontCharset && hasParameter) {
            m_fontCharset = parameter;
        }
        return;
    }
    if (s.destination != Destination::Text)
        return; // colour components
    if (m_skipCharacters > 0 && consumesSkippedCharacter())
        return;
    if (id == Word::Symbol)
        textUnit(rtfSymbolWordUnit(word));
    else
        textWord(id, hasParameter, parameter);
}

void Scanner::textWord(Word word, bool hasParameter, int parameter)
{
    GroupState &s = state();
    const bool on = !hasParameter || parameter != 0;
    switch (word) {
    case Word::Paragraph:
        endParagraph();
        break;
    case Word::Line:
        textUnit(QChar::LineSeparator);
        break;
    case Word::Tab:
        textUnit(u'\t');
        break;
    case Word::Unicode:
        if (hasParameter) {
            const bool valid = parameter >= -32768 && parameter <= 65535;
            textUnit(valid ? char16_t(parameter < 0 ? parameter + 65536 : parameter)
                           : char16_t(QChar::ReplacementCharacter));
            m_skipCharacters = s.unicodeSkip;
        }
        break;
    case Word::UnicodeSkip:
        if (hasParameter)
            s.unicodeSkip = qMax(0, parameter);
        break;
    case Word::Plain:
        s.chars = CharState();
        s.chars.font = m_defaultFont;
        break;
    case Word::FontSize:
        s.chars.halfPoints = hasParameter && parameter > 0 ? parameter : DefaultRtfHalfPoints;
        break;
    case Word::Bold:
        s.chars.bold = on;
        break;
    case Word::Italic:
        s.chars.italic = on;
        break;
    case Word::Underline:
        s.chars.underline = on;
        break;
    case Word::UnderlineNone:
        s.chars.underline = false;
        break;
    case Word::Colour:
        s.chars.colour = hasParameter ? parameter : 0;
        break;
    case Word::Font:
        if (hasParameter)
            s.chars.font = parameter;
        break;
    case Word::CodePage:
        if (hasParameter)
            m_documentCodePage = parameter;
        break;
    case Word::DefaultFont:
        if (hasParameter) {
            m_defaultFont = parameter;
            s.chars.font = parameter;
        }
        break;
    case Word::Other:
    case Word::Symbol:
    case Word::Bin:
    case Word::FontTable:
    case Word::ColourTable:
    case Word::FontCharset:
        break;
    }
}

// A stretch of bytes up to the next brace, backslash or line end, as the reader
// takes them one by one: the attributes cannot change inside it.
void Scanner::textBytes()
{
    qsizetype end = m_pos;
    while (end < m_size && !specialBytes[static_cast<unsigned char>(m_data[end])])
        ++end;
    const char *bytes = m_data + m_pos;
    const qsizetype count = end - m_pos;
    m_pos = end;
    m_ignorable = false;
    switch (state().destination) {
    case Destination::Skip:
    case Destination::ColourTable:
        return;
    case Destination::FontTable:
        for (qsizetype i = 0; i < count; ++i)
            fontTableByte(bytes[i]);
        return;
    case Destination::Text:
        break;
    }
    qsizetype i = 0;
    while (i < count && consumesSkippedCharacter())
        ++i;
    const auto *text = reinterpret_cast<const unsigned char *>(bytes) + i;
    const qsizetype length = count - i;
    // Most stretches hold no control bytes: those are widened in one simple pass.
    unsigned char all = 0;
    bool controls = false;
    for (qsizetype k = 0; k < length; ++k) {
        all |= text[k];
        controls |= text[k] < 0x20 && text[k] != '\t';
    }
    if (length == 0 || controls) {
        for (qsizetype k = 0; k < length; ++k) {
            if (text[k] >= 0x20 || text[k] == '\t')
                textByte(char(text[k]));
        }
        return;
    }
    prepareRun();
    beginBytes();
    const qsizetype start = m_text.size();
    m_text.resize(start + length);
    QChar *out = m_text.data() + start;
    for (qsizetype k = 0; k < length; ++k)
        out[k] = QChar(char16_t(text[k]));
    m_pendingHigh = m_pendingHigh || all >= 0x80;
}

void Scanner::textByte(char byte)
{
    m_ignorable = false;
    switch (state().destination) {
    case Destination::Skip:
    case Destination::ColourTable:
        return;
    case Destination::FontTable:
        fontTableByte(byte);
        return;
    case Destination::Text:
        break;
    }
    if (consumesSkippedCharacter())
        return;
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x20 && byte != '\t')
        return;
    prepareRun();
    beginBytes();
    m_text.append(QChar(char16_t(value)));
    m_pendingHigh = m_pendingHigh || value >= 0x80;
}

void Scanner::fontTableByte(char byte)
{
    if (byte != ';') {
        m_fontNamed = true;
    } else if (m_fontNumber >= 0) {
        m_fontCodePages.insert(m_fontNumber, codePageOfCharset(m_fontCharset));
        m_fontNamed = false;
        m_fontNumber = -1;
    }
}

void Scanner::textUnit(char16_t unit)
{
    if (state().destination != Destination::Text)
        return;
    prepareRun();
    flushBytes();
    m_runChanges = m_runChanges || changesInPlainText(unit);
    appendUtf16Unit(m_text, unit, m_highSurrogate);
}

void Scanner::prepareRun()
{
    if (state().chars == m_runChars)
        return;
    flushRun();
    m_runChars = state().chars;
}

// Raw bytes go into the text as they are and are decoded when the run's bytes
// end, by the code page in force then, as the reader decodes them. A lone high
// surrogate before them becomes U+FFFD first, which is where the reader puts it.
void Scanner::beginBytes()
{
    if (m_pendingStart >= 0)
        return;
    if (m_highSurrogate != 0) {
        m_text.append(QChar::ReplacementCharacter);
        m_highSurrogate = 0;
    }
    m_pendingStart = m_text.size();
}

void Scanner::flushBytes()
{
    if (m_pendingStart < 0)
        return;
    if (!m_pendingHigh) { // ASCII reads the same in every code page
        m_pendingStart = -1;
        return;
    }
    const std::array<char16_t, 128> *half = singleByteCodePage(codePage());
    if (half == nullptr)
        half = singleByteCodePage(1252);
    QChar *text = m_text.data();
    for (qsizetype i = m_pendingStart, end = m_text.size(); i < end; ++i) {
        const char16_t value = text[i].unicode();
        if (value >= 0x80) {
            text[i] = QChar((*half)[value - 0x80]);
            m_runChanges = m_runChanges || changesInPlainText((*half)[value - 0x80]);
        }
    }
    m_pendingStart = -1;
    m_pendingHigh = false;
}

// Ends the reader's run: what inserting it into a document and taking the
// document's plain text makes of it. Every line or paragraph break becomes '\n'
// (CR LF inside one run counts once) and a no-break space a blank.
void Scanner::flushRun()
{
    flushBytes();
    if (m_highSurrogate != 0) {
        m_text.append(QChar::ReplacementCharacter);
        m_highSurrogate = 0;
    }
    if (!m_runChanges) {
        m_runStart = m_text.size();
        return;
    }
    m_runChanges = false;
    QChar *run = m_text.data() + m_runStart;
    const qsizetype length = m_text.size() - m_runStart;
    qsizetype out = 0;
    for (qsizetype i = 0; i < length; ++i) {
        char16_t c = run[i].unicode();
        if (c == u'\r' && i + 1 < length && run[i + 1] == u'\n')
            ++i;
        else if (c == QChar::Nbsp)
            c = u' ';
        if (changesInPlainText(c))
            c = u'\n';
        run[out++] = QChar(c);
    }
    m_text.truncate(m_runStart + out);
    m_runStart = m_text.size();
}

void Scanner::endParagraph()
{
    flushRun();
    m_text.append(u'\n');
    m_runStart = m_text.size();
}

// \'hh bytes are decoded by the character set of the run's font, else by the
// document's code page.
int Scanner::codePage() const
{
    const auto font = m_fontCodePages.constFind(m_runChars.font);
    if (font != m_fontCodePages.cend() && *font != 0)
        return *font;
    return m_documentCodePage;
}

} // namespace

Result<QString> RtfTextScanner::plainText(QByteArrayView rtf)
{
    qsizetype start = rtf.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < rtf.size() && isspace(static_cast<unsigned char>(rtf.at(start))))
        ++start;
    if (!rtf.sliced(start).startsWith("{\\rtf"))
        return Error::make(ErrorCode::RtfMalformed);
    Scanner scanner(rtf);
    if (const Status scanned = scanner.scan(start); !scanned)
        return scanned.error();
    return scanner.takeText();
}

} // namespace quillet
