#include "richtext/rtfsyntax.h"

#include "core/links.h"
#include "core/support.h"
#include "richtext/codepages.h"
#include "richtext/rtfreader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <iterator>

namespace quillet {

enum class RtfWord : quint8
{
    Other,
    SkippedDestination, // never text of the document
    Bin,
    FontTable,
    ColourTable,
    Paragraph,
    Line,
    Tab,
    Unicode,
    UnicodeSkip,
    Alignment,
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
    Red,
    Green,
    Blue,
    Symbol, // \emdash, \lquote and the like
    Field,
    FieldInstruction,
    FieldResult,
};

namespace {

constexpr int MaxWordLength = 32;
constexpr int MaxParameterDigits = 10;
// Far longer than any address a link holds; a longer instruction is no link.
constexpr qsizetype MaxInstructionLength = 8192;

struct WordEntry
{
    std::string_view name;
    RtfWord word;
    int value = 0; // the character of a symbol, the alignment of an alignment word
};

// Destinations whose content is never text of the document.
bool isSkippedDestination(std::string_view word)
{
    // Sorted, so a lookup costs a few comparisons: it runs for every unknown word.
    static constexpr std::string_view words[] = {
        "annotation",
        "atnid",
        "author",
        "buptim",
        "colorschememapping",
        "comment",
        "company",
        "creatim",
        "datastore",
        "doccomm",
        "docvar",
        "falt",
        "filetbl",
        "footer",
        "footerf",
        "footerl",
        "footerr",
        "footnote",
        "ftncn",
        "ftnsep",
        "ftnsepc",
        "header",
        "headerf",
        "headerl",
        "headerr",
        "info",
        "keywords",
        "latentstyles",
        "listoverridetable",
        "listtable",
        "nonshppict",
        "objdata",
        "object",
        "operator",
        "panose",
        "pict",
        "pntext",
        "pntxta",
        "pntxtb",
        "printim",
        "private",
        "revtbl",
        "revtim",
        "rsidtbl",
        "shp",
        "shpinst",
        "stylesheet",
        "subject",
        "tc",
        "template",
        "themedata",
        "title",
        "txe",
        "xe",
        "xmlnstbl",
    };
    static_assert(std::is_sorted(std::begin(words), std::end(words)));
    return std::binary_search(std::begin(words), std::end(words), word);
}

// Compares words of the same length without a call: they are a few letters long.
constexpr bool sameLetters(std::string_view a, std::string_view b)
{
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

// The words that change the text, its decoding or its look. `name` has at most
// MaxWordLength letters.
WordEntry wordOf(std::string_view name)
{
    using W = RtfWord;
    static constexpr WordEntry words[] = {
        {"u", W::Unicode},
        {"b", W::Bold},
        {"f", W::Font},
        {"i", W::Italic},
        {"fs", W::FontSize},
        {"cf", W::Colour},
        {"qc", W::Alignment, Qt::AlignHCenter},
        {"qj", W::Alignment, Qt::AlignJustify},
        {"ql", W::Alignment, Qt::AlignLeft},
        {"qr", W::Alignment, Qt::AlignRight},
        {"uc", W::UnicodeSkip},
        {"ul", W::Underline},
        {"par", W::Paragraph},
        {"bin", W::Bin},
        {"red", W::Red},
        {"row", W::Paragraph},
        {"tab", W::Tab},
        {"blue", W::Blue},
        {"cell", W::Tab},
        {"deff", W::DefaultFont},
        {"line", W::Line},
        {"page", W::Paragraph},
        {"pard", W::Alignment, Qt::AlignLeft},
        {"sect", W::Paragraph},
        {"green", W::Green},
        {"plain", W::Plain},
        {"field", W::Field},
        {"bullet", W::Symbol, 0x2022},
        {"emdash", W::Symbol, 0x2014},
        {"endash", W::Symbol, 0x2013},
        {"lquote", W::Symbol, 0x2018},
        {"rquote", W::Symbol, 0x2019},
        {"ulnone", W::UnderlineNone},
        {"ansicpg", W::CodePage},
        {"fldrslt", W::FieldResult},
        {"fldinst", W::FieldInstruction},
        {"emspace", W::Symbol, u' '},
        {"enspace", W::Symbol, u' '},
        {"fonttbl", W::FontTable},
        {"qmspace", W::Symbol, u' '},
        {"colortbl", W::ColourTable},
        {"fcharset", W::FontCharset},
        {"ldblquote", W::Symbol, 0x201C},
        {"rdblquote", W::Symbol, 0x201D},
    };
    // Words ordered by length, the most frequent first; where those of each length
    // start. A lookup compares the few words of its length, most by one letter.
    static constexpr auto starts = [] {
        std::array<std::size_t, MaxWordLength + 2> starts{};
        std::size_t i = 0;
        for (std::size_t length = 0; length < starts.size(); ++length) {
            while (i < std::size(words) && words[i].name.size() < length)
                ++i;
            starts[length] = i;
        }
        return starts;
    }();
    static_assert(std::is_sorted(std::begin(words), std::end(words),
                                 [](auto a, auto b) { return a.name.size() < b.name.size(); }));
    for (std::size_t i = starts[name.size()]; i < starts[name.size() + 1]; ++i) {
        if (sameLetters(words[i].name, name))
            return words[i];
    }
    return {name, isSkippedDestination(name) ? W::SkippedDestination : W::Other};
}

// Control words are ASCII letters with an optional ASCII number, whatever the locale.
constexpr bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Bytes that end a stretch of plain text.
constexpr std::array<bool, 256> specialBytes = [] {
    std::array<bool, 256> table{};
    for (const unsigned char c : {'{', '}', '\\', '\r', '\n'})
        table[c] = true;
    return table;
}();

// NUL and other control bytes are no text.
constexpr bool isTextByte(unsigned char value)
{
    return value >= 0x20 || value == '\t';
}

// Appends one UTF-16 unit of \uN: a surrogate pair may come as two of them, with a
// high surrogate waiting in `pendingHigh`; a surrogate without its partner becomes
// U+FFFD.
void appendUtf16Unit(QString &text, char16_t unit, char16_t &pendingHigh)
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

// The address of a HYPERLINK instruction, `HYPERLINK "URL" switches` or
// `HYPERLINK URL`, when it is one to open; empty for any other instruction.
QUrl hyperlinkOf(QStringView instruction)
{
    constexpr QLatin1StringView Keyword("HYPERLINK");
    QStringView rest = instruction.trimmed();
    if (!rest.startsWith(Keyword, Qt::CaseInsensitive) || rest.size() == Keyword.size() ||
        !rest.at(Keyword.size()).isSpace())
        return {};
    rest = rest.sliced(Keyword.size()).trimmed();
    qsizetype end = 0;
    if (rest.startsWith(u'"')) {
        rest = rest.sliced(1);
        end = rest.indexOf(u'"');
        if (end < 0)
            return {};
    } else {
        while (end < rest.size() && !rest.at(end).isSpace())
            ++end;
    }
    const QUrl url(rest.first(end).trimmed().toString());
    return isStoredLink(url) ? url : QUrl();
}

// Where the document starts: "{\rtf" after blanks and a UTF-8 byte-order mark.
qsizetype documentStart(QByteArrayView rtf)
{
    qsizetype start = rtf.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < rtf.size() && isspace(static_cast<unsigned char>(rtf.at(start))))
        ++start;
    return rtf.sliced(start).startsWith("{\\rtf") ? start : -1;
}

} // namespace

Status RtfWalker::walk()
{
    m_pos = documentStart(QByteArrayView(m_data, m_size));
    if (m_pos < 0)
        return Error::make(ErrorCode::RtfMalformed);
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
            ++m_pos; // line ends only format the RTF text itself
            break;
        default:
            textBytes();
            break;
        }
    }
    flushRun();
    if (!m_stack.empty())
        m_lastState = state();
    return {};
}

QColor RtfWalker::colour(int index) const
{
    return index > 0 && index < m_colours.size() ? m_colours.at(index) : QColor();
}

QUrl RtfWalker::link(int number) const
{
    return number > 0 && number <= m_links.size() ? m_links.at(number - 1) : QUrl();
}

QString RtfWalker::fontName(int font) const
{
    const auto found = m_fonts.constFind(font);
    return found != m_fonts.cend() ? found->name : QString();
}

// A new group starts with its parent's state; false when nested too deep.
bool RtfWalker::openGroup()
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

void RtfWalker::closeGroup()
{
    m_skipCharacters = 0;
    m_ignorable = false;
    if (state().destination == Destination::FontTable && m_fontNumber >= 0 && !m_fontName.isEmpty())
        tableByte(';'); // an entry may end with its group instead of a semicolon
    if (state().field == FieldPart::Instruction && m_stack.size() >= 2 &&
        m_stack[m_stack.size() - 2].field == FieldPart::Field)
        endInstruction();
    m_lastState = state();
    m_stack.pop_back();
}

// Reads what follows a backslash: a control word with its parameter, or a control
// symbol.
void RtfWalker::readControlSequence()
{
    if (m_pos >= m_size)
        return;
    if (!isLetter(m_data[m_pos])) {
        controlSymbol(m_data[m_pos++]);
        return;
    }
    const qsizetype wordStart = m_pos;
    while (m_pos < m_size && isLetter(m_data[m_pos]))
        ++m_pos;
    const std::string_view word(m_data + wordStart, std::size_t(m_pos - wordStart));
    bool negative = false;
    if (m_pos + 1 < m_size && m_data[m_pos] == '-' && isDigit(m_data[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    qint64 value = 0;
    int digits = 0;
    while (m_pos < m_size && isDigit(m_data[m_pos])) {
        if (digits++ < MaxParameterDigits)
            value = value * 10 + (m_data[m_pos] - '0');
        ++m_pos;
    }
    if (m_pos < m_size && m_data[m_pos] == ' ')
        ++m_pos; // the delimiter belongs to the control word
    value = std::clamp<qint64>(negative ? -value : value, INT_MIN, INT_MAX);
    if (word.size() <= std::size_t(MaxWordLength))
        controlWord(word, digits > 0, int(value));
}

void RtfWalker::controlSymbol(char symbol)
{
    if (symbol == '*') {
        m_ignorable = true;
        return;
    }
    const Destination destination = state().destination;
    if (destination == Destination::Skip)
        return;
    switch (symbol) {
    case '\'':
        if (const int value = readHexByte(); value >= 0 && !consumesSkippedCharacter())
            textByte(char(value));
        return;
    case '\\':
    case '{':
    case '}':
        if (!consumesSkippedCharacter())
            textByte(symbol);
        return;
    case '~':
        textUnit(0x00A0);
        return;
    case '_':
        textUnit(0x2011);
        return;
    case '\r':
    case '\n':
        if (destination == Destination::Text)
            endParagraph();
        return;
    default:
        return; // \- (optional hyphen), \| and others show nothing
    }
}

// The two hex digits of \'hh; -1 (nothing consumed past a bad digit) when not.
int RtfWalker::readHexByte()
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

void RtfWalker::controlWord(std::string_view word, bool hasParameter, int parameter)
{
    const WordEntry entry = wordOf(word);
    if (entry.word == RtfWord::Bin) {
        // Binary data, skipped whole wherever it stands.
        const qint64 length = hasParameter ? qMax(0, parameter) : 0;
        m_pos += qMin<qint64>(length, m_size - m_pos);
        consumesSkippedCharacter();
        return;
    }
    Group &s = state();
    if (s.destination == Destination::Skip)
        return;
    if (entry.word == RtfWord::FieldInstruction) {
        m_ignorable = false;
        beginInstruction();
        return;
    }
    if (m_ignorable || entry.word == RtfWord::SkippedDestination) {
        m_ignorable = false;
        s.destination = Destination::Skip;
        return;
    }
    if (entry.word == RtfWord::FontTable) {
        s.destination = Destination::FontTable;
        return;
    }
    if (entry.word == RtfWord::ColourTable) {
        s.destination = Destination::ColourTable;
        m_colours.clear();
        return;
    }
    if (s.destination != Destination::Text && s.destination != Destination::FieldInstruction) {
        tableWord(entry.word, hasParameter, parameter);
        return;
    }
    if (m_skipCharacters > 0 && consumesSkippedCharacter())
        return;
    textWord(entry.word, entry.value, hasParameter, parameter);
}

// Control words inside the font and colour tables.
void RtfWalker::tableWord(RtfWord word, bool hasParameter, int parameter)
{
    if (state().destination == Destination::FontTable) {
        if (word == RtfWord::Font && hasParameter) {
            if (m_fontNumber >= 0 && !m_fontName.isEmpty())
                tableByte(';');
            m_fontNumber = parameter;
            m_fontCharset = -1;
            m_fontName.clear();
        } else if (word == RtfWord::FontCharset && hasParameter) {
            m_fontCharset = parameter;
        }
        return;
    }
    const int component = std::clamp(parameter, 0, 255);
    if (word == RtfWord::Red)
        m_red = component;
    else if (word == RtfWord::Green)
        m_green = component;
    else if (word == RtfWord::Blue)
        m_blue = component;
}

void RtfWalker::textWord(RtfWord word, int value, bool hasParameter, int parameter)
{
    Group &s = state();
    switch (word) {
    case RtfWord::Paragraph:
        if (s.destination == Destination::Text)
            endParagraph();
        break;
    case RtfWord::Field:
    case RtfWord::FieldResult:
        fieldWord(word);
        break;
    case RtfWord::Line:
        textUnit(QChar::LineSeparator);
        break;
    case RtfWord::Tab:
        textUnit(u'\t');
        break;
    case RtfWord::Symbol:
        textUnit(char16_t(value));
        break;
    case RtfWord::Unicode:
        if (hasParameter) {
            const bool valid = parameter >= -32768 && parameter <= 65535;
            textUnit(valid ? char16_t(parameter < 0 ? parameter + 65536 : parameter)
                           : char16_t(QChar::ReplacementCharacter));
            m_skipCharacters = s.unicodeSkip;
        }
        break;
    case RtfWord::UnicodeSkip:
        if (hasParameter)
            s.unicodeSkip = qMax(0, parameter);
        break;
    case RtfWord::Alignment:
        s.alignment = Qt::Alignment(Qt::AlignmentFlag(value));
        break;
    case RtfWord::CodePage:
        if (hasParameter)
            m_documentCodePage = parameter;
        break;
    case RtfWord::DefaultFont:
        if (hasParameter) {
            m_defaultFont = parameter;
            s.chars.font = parameter;
        }
        break;
    default:
        charWord(word, hasParameter, parameter);
        break;
    }
}

// The words that change the attributes of the characters that follow.
void RtfWalker::charWord(RtfWord word, bool hasParameter, int parameter)
{
    RtfCharState &chars = state().chars;
    const bool on = !hasParameter || parameter != 0;
    switch (word) {
    case RtfWord::Plain: // resets the look, not the link the text is in
        chars = RtfCharState{.font = m_defaultFont, .link = chars.link};
        break;
    case RtfWord::FontSize:
        chars.halfPoints = hasParameter && parameter > 0
                               ? std::clamp(parameter, MinFontHalfPoints, MaxFontHalfPoints)
                               : DefaultRtfHalfPoints;
        break;
    case RtfWord::Bold:
        chars.bold = on;
        break;
    case RtfWord::Italic:
        chars.italic = on;
        break;
    case RtfWord::Underline:
    case RtfWord::UnderlineNone:
        chars.underline = on && word == RtfWord::Underline;
        break;
    case RtfWord::Colour:
        chars.colour = hasParameter ? parameter : 0;
        break;
    case RtfWord::Font:
        if (hasParameter)
            chars.font = parameter;
        break;
    default:
        break; // words of the tables, or unknown
    }
}

// \fldinst: the instruction of the field this group is in, read as text of its
// own; one anywhere else is skipped.
void RtfWalker::beginInstruction()
{
    Group &s = state();
    if (s.field != FieldPart::Field || s.destination != Destination::Text) {
        s.destination = Destination::Skip;
        return;
    }
    s.destination = Destination::FieldInstruction;
    s.field = FieldPart::Instruction;
    m_instruction.clear();
    m_instructionValid = true;
}

// \field starts a field, \fldrslt its result, which links where its instruction did.
void RtfWalker::fieldWord(RtfWord word)
{
    Group &s = state();
    if (s.destination == Destination::FieldInstruction) {
        m_instructionValid = false; // a field or a result inside an instruction
        return;
    }
    if (word == RtfWord::Field) {
        s.field = s.field == FieldPart::None ? FieldPart::Field : FieldPart::Nested;
        s.fieldLink = 0;
        if (s.field == FieldPart::Nested)
            s.chars.link = 0;
    } else if (s.field == FieldPart::Field) {
        s.field = FieldPart::Result;
        s.chars.link = s.fieldLink;
    }
}

void RtfWalker::instructionUnit(char16_t unit)
{
    if (m_instruction.size() >= MaxInstructionLength)
        m_instructionValid = false;
    else
        m_instruction.append(QChar(unit));
}

// The instruction's group ends: its field links when it named a link to open.
void RtfWalker::endInstruction()
{
    Group &field = m_stack[m_stack.size() - 2];
    field.fieldLink = 0;
    if (!m_instructionValid)
        return;
    if (const QUrl url = hyperlinkOf(m_instruction); !url.isEmpty()) {
        m_links.append(url);
        field.fieldLink = int(m_links.size());
    }
}

// After \uN the next characters are the fallback for readers without Unicode.
bool RtfWalker::consumesSkippedCharacter()
{
    if (m_skipCharacters <= 0)
        return false;
    --m_skipCharacters;
    return true;
}

// A stretch of bytes up to the next brace, backslash or line end, taken as one:
// the attributes cannot change inside it.
void RtfWalker::textBytes()
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_data);
    qsizetype i = m_pos;
    qsizetype end = m_pos;
    unsigned char all = 0; // most stretches hold no control bytes: widened in one pass
    bool controls = false;
    for (; end < m_size && !specialBytes[bytes[end]]; ++end) {
        all |= bytes[end];
        controls |= !isTextByte(bytes[end]);
    }
    m_pos = end;
    m_ignorable = false; // \* names the destination of the word right after it only
    switch (state().destination) {
    case Destination::Skip:
        return;
    case Destination::FontTable:
    case Destination::ColourTable:
        for (; i < end; ++i)
            tableByte(char(bytes[i]));
        return;
    case Destination::FieldInstruction:
        for (; i < end; ++i)
            textByte(char(bytes[i]));
        return;
    case Destination::Text:
        break;
    }
    while (i < end && consumesSkippedCharacter())
        ++i;
    if (controls) {
        for (; i < end; ++i)
            textByte(char(bytes[i]));
        return;
    }
    if (i == end)
        return;
    prepareRun();
    beginBytes();
    const qsizetype start = m_run.size();
    m_run.resize(start + end - i);
    std::copy(bytes + i, bytes + end, reinterpret_cast<char16_t *>(m_run.data()) + start);
    m_bytesHigh = m_bytesHigh || all >= 0x80;
}

void RtfWalker::textByte(char byte)
{
    m_ignorable = false;
    switch (state().destination) {
    case Destination::Skip:
        return;
    case Destination::FontTable:
    case Destination::ColourTable:
        tableByte(byte);
        return;
    case Destination::FieldInstruction:
    case Destination::Text:
        break;
    }
    const auto value = static_cast<unsigned char>(byte);
    if (consumesSkippedCharacter() || !isTextByte(value))
        return;
    if (state().destination == Destination::FieldInstruction) {
        instructionUnit(
            decodeSingleByte(QByteArray(1, byte), m_documentCodePage).front().unicode());
        return;
    }
    prepareRun();
    beginBytes();
    m_run.append(QChar(char16_t(value)));
    m_bytesHigh = m_bytesHigh || value >= 0x80;
}

// Text in the font table names fonts; in the colour table, ';' ends an entry.
void RtfWalker::tableByte(char byte)
{
    if (state().destination == Destination::ColourTable) {
        if (byte == ';') {
            m_colours.append(m_red < 0 && m_green < 0 && m_blue < 0
                                 ? QColor()
                                 : QColor(qMax(0, m_red), qMax(0, m_green), qMax(0, m_blue)));
            m_red = m_green = m_blue = -1;
        }
    } else if (byte != ';') {
        m_fontName.append(byte);
    } else if (m_fontNumber >= 0) {
        const int codePage = codePageOfCharset(m_fontCharset);
        m_fonts.insert(
            m_fontNumber,
            {decodeSingleByte(m_fontName, codePage ? codePage : m_documentCodePage).trimmed(),
             codePage});
        m_fontName.clear();
        m_fontNumber = -1;
    }
}

void RtfWalker::textUnit(char16_t unit)
{
    if (state().destination == Destination::FieldInstruction)
        instructionUnit(unit);
    if (state().destination != Destination::Text)
        return;
    prepareRun();
    flushBytes();
    appendUtf16Unit(m_run, unit, m_highSurrogate);
}

// Starts a new run when the character attributes have changed.
void RtfWalker::prepareRun()
{
    if (state().chars == m_runChars)
        return;
    flushRun();
    m_runChars = state().chars;
}

// Raw bytes go into the run as they are and are decoded when the run's bytes end,
// by the code page in force then. A lone high surrogate before them becomes U+FFFD.
void RtfWalker::beginBytes()
{
    if (m_bytesStart >= 0)
        return;
    if (m_highSurrogate != 0) {
        m_run.append(QChar::ReplacementCharacter);
        m_highSurrogate = 0;
    }
    m_bytesStart = m_run.size();
}

void RtfWalker::flushBytes()
{
    if (m_bytesStart < 0)
        return;
    if (m_bytesHigh) { // ASCII reads the same in every code page
        const std::array<char16_t, 128> *half = singleByteCodePage(codePage());
        if (half == nullptr)
            half = singleByteCodePage(1252);
        QChar *text = m_run.data();
        for (qsizetype i = m_bytesStart, end = m_run.size(); i < end; ++i) {
            if (const char16_t value = text[i].unicode(); value >= 0x80)
                text[i] = QChar((*half)[value - 0x80]);
        }
    }
    m_bytesStart = -1;
    m_bytesHigh = false;
}

void RtfWalker::flushRun()
{
    flushBytes();
    if (m_highSurrogate != 0) {
        m_run.append(QChar::ReplacementCharacter);
        m_highSurrogate = 0;
    }
    if (m_run.isEmpty())
        return;
    m_sink.insertRun(m_run, m_runChars);
    m_run.resize(0);
}

void RtfWalker::endParagraph()
{
    flushRun();
    m_sink.endParagraph(state().alignment, state().chars);
}

// \'hh bytes are decoded by the character set of the run's font, else by the
// document's code page.
int RtfWalker::codePage() const
{
    const auto font = m_fonts.constFind(m_runChars.font);
    if (font != m_fonts.cend() && font->codePage != 0)
        return font->codePage;
    return m_documentCodePage;
}

} // namespace quillet
