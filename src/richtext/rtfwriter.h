#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QList>
#include <QRgb>
#include <QString>
#include <QUrl>

#include <optional>

class QTextDocument;

namespace quillet {

// Writes a document as RTF 1.x: one font (the document's default font, with the
// Cyrillic character set), a colour table, and for every run its size (\fs, in
// half-points), bold flag, colour and its paragraph's alignment; one \par per
// paragraph break. Text outside printable ASCII goes out as \uN? and backslash
// and braces are escaped, so no text can ever add control words of its own.
// Anchors whose address isStoredLink go out as hyperlink fields around their runs.
QByteArray writeRtf(const QTextDocument &document);

// A hyperlink field as word processors write and open it:
//   {\field{\*\fldinst{HYPERLINK "URL"}}{\fldrslt{RUNS}}}
// The start writes everything before the runs, with the URL in its encoded form
// (ASCII, quotes, braces and backslashes percent-encoded); the end closes the
// field. `url` must be isStoredLink: no other address is stored as a link.
void appendHyperlinkStart(QByteArray &out, const QUrl &url);
void appendHyperlinkEnd(QByteArray &out);

// A run of text appended at the end of a conversation: its size in points,
// weight, colour, the alignment of the paragraph
// it goes into, and the address it links to, if any. CR LF, LF, CR, U+2029 and
// the frame markers U+FDD0 and U+FDD1 each end a paragraph, as they do when
// the run is inserted into a QTextDocument.
struct TextRun
{
    QString text;
    int points = 9;
    bool bold = false;
    QColor colour;
    Qt::Alignment alignment = Qt::AlignLeft;
    QUrl link;
};

// Writes the RTF of a conversation made of runs, as writeRtf would write the
// document those runs make when inserted one after another at its end (equal
// runs of one paragraph merged, a new run's alignment applied to the paragraph
// it starts in). Finished paragraphs are written once, so the cost of a run does
// not grow with the conversation; a linked run goes out as a hyperlink field.
// header() + body() + tail() is always the whole document.
class RtfRunWriter final
{
public:
    explicit RtfRunWriter(const QString &fontFamily);

    void append(const TextRun &run);
    bool isEmpty() const { return m_body.isEmpty() && m_paragraph.isEmpty(); }

    // Everything before the first paragraph: font and colour tables.
    const QByteArray &header() const { return m_header; }
    // The finished paragraphs, each closed by \par.
    const QByteArray &body() const { return m_body; }
    // The last paragraph and the closing brace.
    QByteArray tail() const;
    QByteArray rtf() const { return m_header + m_body + tail(); }

private:
    struct Format
    {
        int halfPoints = 0;
        bool bold = false;
        int colour = 0;
        bool operator==(const Format &) const = default;
    };

    void appendPiece(QStringView text, const TextRun &run);
    void finishParagraph();

    QString m_fontFamily;
    QList<QRgb> m_colours;
    QHash<QRgb, int> m_colourIndex;
    QByteArray m_header;
    QByteArray m_body;
    QByteArray m_paragraph;                    // the runs of the last paragraph
    Qt::Alignment m_alignment = Qt::AlignLeft; // of the last paragraph
    std::optional<Format> m_lastFormat;        // of its last run, when that can be extended
};

} // namespace quillet
