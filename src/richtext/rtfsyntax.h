#pragma once

#include "core/error.h"

#include <QByteArrayView>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <string_view>
#include <vector>

// The one walk through RTF that the full reader and the text scanner share: the
// walker reads groups, destinations, code pages and Unicode with its fallbacks,
// and hands the text to a sink in runs, so both see exactly the same text.
//
// Hyperlink fields, {\field{\*\fldinst HYPERLINK "URL" switches}{\fldrslt text}},
// give their result's runs a link number when the URL isStoredLink; the
// instruction is never text. Any other instruction, a result before its
// instruction, and fields nested in a field leave the result plain text.

namespace quillet {

constexpr int DefaultRtfHalfPoints = 24;

// Real documents nest a few dozen groups at most; anything far deeper is hostile.
constexpr int MaxRtfDepth = 256;

// The character attributes of a run: a new run starts when they change.
struct RtfCharState
{
    int halfPoints = DefaultRtfHalfPoints;
    int colour = 0;
    int font = -1;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int link = 0; // the walker's number of the hyperlink the text is the result of; 0 for none

    friend bool operator==(const RtfCharState &, const RtfCharState &) = default;
};

// A control word that the walker acts on; defined where it is looked up.
enum class RtfWord : quint8;

// What the walker finds in the document's text.
class RtfSink
{
public:
    // Decoded characters, never none, with the attributes they share.
    virtual void insertRun(const QString &text, const RtfCharState &chars) = 0;
    // The paragraph ends with its alignment; the next one starts with `chars`.
    virtual void endParagraph(Qt::Alignment alignment, const RtfCharState &chars) = 0;

protected:
    ~RtfSink() = default;
};

// Walks one document token by token with an explicit group stack, so no input can
// exhaust the stack, and tolerant as RTF readers should be: unknown control words
// and destinations are skipped, \'hh bytes are decoded by the font's character set
// or the document's code page, and a truncated document gives what could be read.
class RtfWalker final
{
public:
    RtfWalker(QByteArrayView rtf, RtfSink &sink)
        : m_data(rtf.data()), m_size(rtf.size()), m_sink(sink)
    {}

    // Input that is not RTF, or nests groups deeper than any real document, is
    // refused; the sink may have been given part of it then.
    Status walk();

    // The alignment in force where the document ended.
    Qt::Alignment lastAlignment() const { return m_lastState.alignment; }
    // The colour table's entry; invalid for the default colour or none.
    QColor colour(int index) const;
    // The font table's name of a font; empty for none.
    QString fontName(int font) const;
    // The address of a run's link number; empty for none.
    QUrl link(int number) const;

private:
    enum class Destination : quint8
    {
        Text,
        FontTable,
        ColourTable,
        FieldInstruction,
        Skip,
    };

    // What a group is of the field it is in.
    enum class FieldPart : quint8
    {
        None,
        Field,       // the field's own group, or one inside it around neither part
        Instruction, // the \fldinst destination
        Result,      // the \fldrslt group: the text shown
        Nested,      // a field inside a field: never a link
    };

    // What a group inherits from its parent and restores on its end.
    struct Group
    {
        RtfCharState chars;
        Qt::Alignment alignment = Qt::AlignLeft;
        int unicodeSkip = 1;
        Destination destination = Destination::Text;
        FieldPart field = FieldPart::None;
        int fieldLink = 0; // the link its instruction gave the field
    };

    struct Font
    {
        QString name;
        int codePage = 0;
    };

    Group &state() { return m_stack.back(); }
    bool openGroup();
    void closeGroup();
    void readControlSequence();
    void controlSymbol(char symbol);
    int readHexByte();
    void controlWord(std::string_view word, bool hasParameter, int parameter);
    void tableWord(RtfWord word, bool hasParameter, int parameter);
    void textWord(RtfWord word, int value, bool hasParameter, int parameter);
    void charWord(RtfWord word, bool hasParameter, int parameter);
    void beginInstruction();
    void fieldWord(RtfWord word);
    void instructionUnit(char16_t unit);
    void endInstruction();
    bool consumesSkippedCharacter();
    void textBytes();
    void textByte(char byte);
    void tableByte(char byte);
    void textUnit(char16_t unit);
    void prepareRun();
    void beginBytes();
    void flushBytes();
    void flushRun();
    void endParagraph();
    int codePage() const;

    const char *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    RtfSink &m_sink;
    std::vector<Group> m_stack;
    Group m_lastState;        // the state when the outermost group ended
    bool m_ignorable = false; // \* seen: the next word names a destination to skip
    int m_skipCharacters = 0; // fallback characters left after \uN

    int m_documentCodePage = 1252;
    int m_defaultFont = 0;
    QHash<int, Font> m_fonts;
    int m_fontNumber = -1;
    int m_fontCharset = -1;
    QByteArray m_fontName;
    QList<QColor> m_colours;
    int m_red = -1;
    int m_green = -1;
    int m_blue = -1;

    QString m_instruction;          // the text of the field instruction being read
    bool m_instructionValid = true; // false once it holds what no link instruction does
    QList<QUrl> m_links;            // by link number, from 1

    RtfCharState m_runChars;
    QString m_run;
    qsizetype m_bytesStart = -1; // raw bytes in m_run waiting to be decoded, from here
    bool m_bytesHigh = false;    // some of them are above ASCII
    char16_t m_highSurrogate = 0;
};

} // namespace quillet
