#include "richtext/rtfreader.h"

#include "core/support.h"
#include "richtext/codepages.h"
#include "richtext/rtfsyntax.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cctype>
#include <climits>
#include <string_view>

namespace quillet {

namespace {

using Destination = RtfDestination;
using CharState = RtfCharState;

// What a group inherits from its parent and restores on its end.
struct GroupState
{
    CharState chars;
    Qt::Alignment alignment = Qt::AlignLeft;
    int unicodeSkip = 1;
    Destination destination = Destination::Text;
};

struct FontEntry
{
    QString name;
    int codePage = 0;
};

// Reads one RTF document token by token with an explicit group stack.
class RtfParser final : public RtfLexer<RtfParser, GroupState>
{
    friend class RtfLexer<RtfParser, GroupState>;

public:
    RtfParser(const QByteArray &rtf, QTextDocument *document) : RtfLexer(rtf), m_cursor(document) {}

    Status parse(qsizetype start);

private:
    void closeGroup();
    void controlWord(std::string_view word, bool hasParameter, int parameter);
    void destinationWord(std::string_view word, bool hasParameter, int parameter);
    void textWord(std::string_view word, bool hasParameter, int parameter);
    void textByte(char byte);
    void textUnit(char16_t unit);
    void textString(const QString &text);
    void prepareRun();
    void flushBytes();
    void flushRun();
    void endParagraph();
    int codePage() const;
    QTextCharFormat formatOf(const CharState &chars) const;

    QTextCursor m_cursor;

    GroupState m_lastState; // the state when the outermost group ended

    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    int m_fontNumber = -1;
    int m_fontCharset = -1;
    QByteArray m_fontName;
    QList<QColor> m_colours;
    int m_red = -1;
    int m_green = -1;
    int m_blue = -1;

    CharState m_runChars;
    QByteArray m_pendingBytes;
    QString m_run;
    char16_t m_highSurrogate = 0;
};

Status RtfParser::parse(qsizetype start)
{
    m_pos = start;
    while (m_pos < m_size) {
        const char c = m_data[m_pos++];
        if (c == '{') {
            if (!openGroup())
                return Error::make(ErrorCode::RtfTooDeep);
        } else if (c == '}') {
            closeGroup();
            if (m_stack.empty())
                break; // anything after the outermost group is not part of the document
        } else if (c == '\\') {
            readControlSequence();
        } else if (c == '\r' || c == '\n') {
            // Line ends only format the RTF text itself.
        } else {
            textByte(c);
        }
    }
    flushRun();
    if (!m_stack.empty())
        m_lastState = state();
    QTextBlockFormat block = m_cursor.blockFormat();
    block.setAlignment(m_lastState.alignment);
    m_cursor.setBlockFormat(block);
    return {};
}

void RtfParser::closeGroup()
{
    m_skipCharacters = 0;
    m_ignorable = false;
    const Destination ending = state().destination;
    if (ending == Destination::FontTable && m_fontNumber >= 0 && !m_fontName.isEmpty()) {
        textByte(';'); // an entry may end with its group instead of a semicolon
    }
    m_lastState = state();
    m_stack.pop_back();
}

void RtfParser::controlWord(std::string_view word, bool hasParameter, int parameter)
{
    if (word == "bin") {
        skipBinary(hasParameter, parameter);
        return;
    }
    if (state().destination == Destination::Skip)
        return;
    if (m_ignorable) {
        m_ignorable = false;
        state().destination = Destination::Skip;
        return;
    }
    if (isSkippedRtfDestination(word)) {
        state().destination = Destination::Skip;
        return;
    }
    if (word == "fonttbl") {
        state().destination = Destination::FontTable;
        return;
    }
    if (word == "colortbl") {
        state().destination = Destination::ColourTable;
        m_colours.clear();
        return;
    }
    if (state().destination != Destination::Text) {
        destinationWord(word, hasParameter, parameter);
        return;
    }
    if (m_skipCharacters > 0 && consumesSkippedCharacter())
        return;
    textWord(word, hasParameter, parameter);
}

// Control words inside the font and colour tables.
void RtfParser::destinationWord(std::string_view word, bool hasParameter, int parameter)
{
    if (state().destination == Destination::FontTable) {
        if (word == "f" && hasParameter) {
            if (m_fontNumber >= 0 && !m_fontName.isEmpty())
                textByte(';');
            m_fontNumber = parameter;
            m_fontCharset = -1;
            m_fontName.clear();
        } else if (word == "fcharset" && hasParameter) {
            m_fontCharset = parameter;
        }
        return;
    }
    const int component = std::clamp(parameter, 0, 255);
    if (word == "red")
        m_red = component;
    else if (word == "green")
        m_green = component;
    else if (word == "blue")
        m_blue = component;
}

void RtfParser::textWord(std::string_view word, bool hasParameter, int parameter)
{
    GroupState &s = state();
    const bool on = !hasParameter || parameter != 0;
    if (word == "par" || word == "sect" || word == "page" || word == "row") {
        endParagraph();
    } else if (word == "line") {
        textUnit(QChar::LineSeparator);
    } else if (word == "tab" || word == "cell") {
        textUnit(u'\t');
    } else if (word == "u" && hasParameter) {
        const bool valid = parameter >= -32768 && parameter <= 65535;
        textUnit(valid ? char16_t(parameter < 0 ? parameter + 65536 : parameter)
                       : char16_t(QChar::ReplacementCharacter));
        m_skipCharacters = s.unicodeSkip;
    } else if (word == "uc" && hasParameter) {
        s.unicodeSkip = qMax(0, parameter);
    } else if (word == "pard") {
        s.alignment = Qt::AlignLeft;
    } else if (word == "plain") {
        s.chars = CharState();
        s.chars.font = m_defaultFont;
    } else if (word == "fs") {
        s.chars.halfPoints = hasParameter && parameter > 0
                                 ? std::clamp(parameter, MinFontHalfPoints, MaxFontHalfPoints)
                                 : DefaultRtfHalfPoints;
    } else if (word == "b") {
        s.chars.bold = on;
    } else if (word == "i") {
        s.chars.italic = on;
    } else if (word == "ul") {
        s.chars.underline = on;
    } else if (word == "ulnone") {
        s.chars.underline = false;
    } else if (word == "cf") {
        s.chars.colour = hasParameter ? parameter : 0;
    } else if (word == "f" && hasParameter) {
        s.chars.font = parameter;
    } else if (word == "ql") {
        s.alignment = Qt::AlignLeft;
    } else if (word == "qc") {
        s.alignment = Qt::AlignHCenter;
    } else if (word == "qr") {
        s.alignment = Qt::AlignRight;
    } else if (word == "qj") {
        s.alignment = Qt::AlignJustify;
    } else if (word == "ansicpg" && hasParameter) {
        m_documentCodePage = parameter;
    } else if (word == "deff" && hasParameter) {
        m_defaultFont = parameter;
        s.chars.font = parameter;
    } else if (const char16_t unit = rtfSymbolWordUnit(word)) {
        textUnit(unit);
    }
}

void RtfParser::textByte(char byte)
{
    m_ignorable = false; // \* names the destination of the word right after it only
    switch (state().destination) {
    case Destination::Skip:
        return;
    case Destination::FontTable:
        if (byte != ';') {
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
        return;
    case Destination::ColourTable:
        if (byte == ';') {
            m_colours.append(m_red < 0 && m_green < 0 && m_blue < 0
                                 ? QColor()
                                 : QColor(qMax(0, m_red), qMax(0, m_green), qMax(0, m_blue)));
            m_red = m_green = m_blue = -1;
        }
        return;
    case Destination::Text:
        break;
    }
    if (consumesSkippedCharacter())
        return;
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x20 && byte != '\t')
        return; // NUL and other control bytes are no text
    prepareRun();
    m_pendingBytes.append(byte);
}

void RtfParser::textUnit(char16_t unit)
{
    if (state().destination != Destination::Text)
        return;
    prepareRun();
    flushBytes();
    appendUtf16Unit(m_run, unit, m_highSurrogate);
}

// Starts a new run when the character attributes have changed.
void RtfParser::prepareRun()
{
    if (state().chars == m_runChars)
        return;
    flushRun();
    m_runChars = state().chars;
}

void RtfParser::flushBytes()
{
    if (m_pendingBytes.isEmpty())
        return;
    if (m_highSurrogate != 0) {
        m_run.append(QChar::ReplacementCharacter);
        m_highSurrogate = 0;
    }
    m_run.append(decodeSingleByte(m_pendingBytes, codePage()));
    m_pendingBytes.clear();
}

void RtfParser::flushRun()
{
    flushBytes();
    if (m_highSurrogate != 0) {
        m_run.append(QChar::ReplacementCharacter);
        m_highSurrogate = 0;
    }
    if (m_run.isEmpty())
        return;
    m_cursor.insertText(m_run, formatOf(m_runChars));
    m_run.clear();
}

void RtfParser::endParagraph()
{
    flushRun();
    QTextBlockFormat block = m_cursor.blockFormat();
    block.setAlignment(state().alignment);
    m_cursor.setBlockFormat(block);
    m_cursor.insertBlock(QTextBlockFormat(), formatOf(state().chars));
}

// \'hh bytes are decoded by the character set of the run's font, else by the
// document's code page.
int RtfParser::codePage() const
{
    const auto font = m_fonts.constFind(m_runChars.font);
    if (font != m_fonts.cend() && font->codePage != 0)
        return font->codePage;
    return m_documentCodePage;
}

QTextCharFormat RtfParser::formatOf(const CharState &chars) const
{
    QTextCharFormat format;
    format.setFontPointSize(chars.halfPoints / 2.0);
    format.setFontWeight(chars.bold ? QFont::Bold : QFont::Normal);
    if (chars.italic)
        format.setFontItalic(true);
    if (chars.underline)
        format.setFontUnderline(true);
    if (chars.colour > 0 && chars.colour < m_colours.size() && m_colours.at(chars.colour).isValid())
        format.setForeground(m_colours.at(chars.colour));
    const auto font = m_fonts.constFind(chars.font);
    if (font != m_fonts.cend() && !font->name.isEmpty())
        format.setFontFamilies({font->name});
    return format;
}

// Where the document starts: "{\rtf" after blanks and a UTF-8 byte-order mark.
qsizetype documentStart(const QByteArray &rtf)
{
    qsizetype start = rtf.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < rtf.size() && isspace(static_cast<unsigned char>(rtf.at(start))))
        ++start;
    return QByteArrayView(rtf).sliced(start).startsWith("{\\rtf") ? start : -1;
}

} // namespace

Status readRtf(const QByteArray &rtf, QTextDocument *document)
{
    document->clear();
    const qsizetype start = documentStart(rtf);
    if (start < 0)
        return Error::make(ErrorCode::RtfMalformed);
    // One edit without undo history: a long log loads several times faster, and
    // its reading cannot be undone piece by piece anyway.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor(document).beginEditBlock();
    RtfParser parser(rtf, document);
    Status status = parser.parse(start);
    QTextCursor(document).endEditBlock();
    if (!status)
        document->clear();
    document->setUndoRedoEnabled(undo);
    return status;
}

} // namespace quillet
