#include "richtext/rtfwriter.h"

#include "core/links.h"
#include "richtext/rtfreader.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// The colour table: colours in the order of their first use, numbered from 1
// (\cf0 is the automatic colour of text that has none of its own).
class ColourTable final
{
public:
    ColourTable(QList<QRgb> &colours, QHash<QRgb, int> &index) : m_colours(colours), m_index(index)
    {}

    int numberOf(QRgb colour)
    {
        colour = qRgb(qRed(colour), qGreen(colour), qBlue(colour));
        if (const auto found = m_index.constFind(colour); found != m_index.cend())
            return found.value();
        m_colours.append(colour);
        m_index.insert(colour, int(m_colours.size()));
        return int(m_colours.size());
    }

private:
    QList<QRgb> &m_colours;
    QHash<QRgb, int> &m_index;
};

void appendNumber(QByteArray &out, qint64 value)
{
    out.append(QByteArray::number(value));
}

// Text as RTF: printable ASCII as it is (backslash and braces escaped), every
// other UTF-16 unit as \uN? with N signed, so surrogate pairs go out as two.
void appendText(QByteArray &out, QStringView text)
{
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit == u'\\' || unit == u'{' || unit == u'}') {
            out.append('\\');
            out.append(char(unit));
        } else if (unit >= 0x20 && unit < 0x7F) {
            out.append(char(unit));
        } else if (unit == u'\t') {
            out.append("\\tab ");
        } else if (unit == QChar::LineSeparator) {
            out.append("\\line ");
        } else if (unit == 0xFDD0 || unit == 0xFDD1) {
            // Frame markers of the document structure, not text.
        } else {
            out.append("\\u");
            appendNumber(out, static_cast<qint16>(unit));
            out.append('?');
        }
    }
}

QByteArray alignmentWord(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignHCenter)
        return QByteArrayLiteral("\\qc");
    if (alignment & Qt::AlignJustify)
        return QByteArrayLiteral("\\qj");
    if (alignment & (Qt::AlignRight | Qt::AlignTrailing))
        return QByteArrayLiteral("\\qr");
    return QByteArrayLiteral("\\ql");
}

int halfPoints(const QTextCharFormat &format, qreal defaultPointSize)
{
    const qreal points = format.fontPointSize() > 0 ? format.fontPointSize() : defaultPointSize;
    return qBound(MinFontHalfPoints, qRound(points * 2), MaxFontHalfPoints);
}

// The control words that start a run: every attribute again, so a run never
// depends on the state the one before left.
void appendRunStart(QByteArray &out, int halfPoints, bool bold, bool italic, bool underline,
                    int colour)
{
    out.append("\\plain\\f0\\fs");
    appendNumber(out, halfPoints);
    if (bold)
        out.append("\\b");
    if (italic)
        out.append("\\i");
    if (underline)
        out.append("\\ul");
    out.append("\\cf");
    appendNumber(out, colour);
    out.append(' ');
}

// The address a run links to; empty when it is no anchor or not one to open.
QUrl linkOf(const QTextCharFormat &format)
{
    if (!format.isAnchor())
        return {};
    const QUrl url(format.anchorHref());
    return isStoredLink(url) ? url : QUrl();
}

// One paragraph: its alignment, then every run with all of its attributes, so a
// run never depends on the state the one before left. Neighbouring runs of the
// same link share its field.
void appendParagraph(QByteArray &out, const QTextBlock &block, ColourTable &colours,
                     qreal defaultPointSize)
{
    out.append("\\pard");
    out.append(alignmentWord(block.blockFormat().alignment()));
    QUrl openLink;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (const QUrl link = linkOf(format); link != openLink) {
            if (!openLink.isEmpty())
                appendHyperlinkEnd(out);
            if (!link.isEmpty())
                appendHyperlinkStart(out, link);
            openLink = link;
        }
        const QBrush foreground = format.foreground();
        appendRunStart(
            out, halfPoints(format, defaultPointSize), format.fontWeight() > QFont::Medium,
            format.fontItalic(), format.fontUnderline(),
            foreground.style() == Qt::NoBrush ? 0 : colours.numberOf(foreground.color().rgb()));
        appendText(out, fragment.text());
    }
    if (!openLink.isEmpty())
        appendHyperlinkEnd(out);
}

QByteArray makeHeader(const QString &family, const QList<QRgb> &colours)
{
    QString name = family;
    name.remove(';'_L1); // ends a name in the font table
    QByteArray out("{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 ");
    appendText(out, name);
    out.append(";}}\r\n{\\colortbl ;");
    for (const QRgb colour : colours) {
        out.append("\\red");
        appendNumber(out, qRed(colour));
        out.append("\\green");
        appendNumber(out, qGreen(colour));
        out.append("\\blue");
        appendNumber(out, qBlue(colour));
        out.append(';');
    }
    out.append("}\r\n\\viewkind4\\uc1\r\n");
    return out;
}

qreal defaultPointSizeOf(const QTextDocument &document)
{
    const qreal size = document.defaultFont().pointSizeF();
    return size > 0 ? size : 9;
}

const QByteArray ParagraphEnd = QByteArrayLiteral("\\par\r\n");
const QByteArray DocumentEnd = QByteArrayLiteral("}");

} // namespace

void appendHyperlinkStart(QByteArray &out, const QUrl &url)
{
    Q_ASSERT(isStoredLink(url));
    out.append("{\\field{\\*\\fldinst{HYPERLINK \"");
    // Encoded, the address holds no quote, brace or backslash; escaped as text anyway.
    appendText(out, QString::fromLatin1(url.toEncoded()));
    out.append("\"}}{\\fldrslt{");
}

void appendHyperlinkEnd(QByteArray &out)
{
    out.append("}}}");
}

QByteArray writeRtf(const QTextDocument &document)
{
    QList<QRgb> colourList;
    QHash<QRgb, int> colourIndex;
    ColourTable colours(colourList, colourIndex);
    const qreal defaultPointSize = defaultPointSizeOf(document);
    QByteArray body;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        appendParagraph(body, block, colours, defaultPointSize);
        body.append(block.next().isValid() ? ParagraphEnd : DocumentEnd);
    }
    return makeHeader(document.defaultFont().family(), colourList) + body;
}

RtfRunWriter::RtfRunWriter(const QString &fontFamily)
    : m_fontFamily(fontFamily), m_header(makeHeader(fontFamily, {}))
{}

void RtfRunWriter::append(const TextRun &run)
{
    m_alignment = run.alignment;
    const QStringView text = run.text;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c != u'\r' && c != u'\n' && c != QChar::ParagraphSeparator && c != 0xFDD0 &&
            c != 0xFDD1)
            continue;
        appendPiece(text.sliced(start, i - start), run);
        finishParagraph();
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    appendPiece(text.sliced(start), run);
}

void RtfRunWriter::appendPiece(QStringView text, const TextRun &run)
{
    if (text.isEmpty())
        return;
    // A colour goes into the table once text of it does, as in the document.
    const qsizetype colourCount = m_colours.size();
    const Format format{qBound(MinFontHalfPoints, run.points * 2, MaxFontHalfPoints), run.bold,
                        ColourTable(m_colours, m_colourIndex).numberOf(run.colour.rgb())};
    if (m_colours.size() > colourCount)
        m_header = makeHeader(m_fontFamily, m_colours);
    if (isStoredLink(run.link)) {
        appendHyperlinkStart(m_paragraph, run.link);
        appendRunStart(m_paragraph, format.halfPoints, format.bold, false, true, format.colour);
        appendText(m_paragraph, text);
        appendHyperlinkEnd(m_paragraph);
        m_lastFormat.reset();
        return;
    }
    if (m_lastFormat != format)
        appendRunStart(m_paragraph, format.halfPoints, format.bold, false, false, format.colour);
    appendText(m_paragraph, text);
    m_lastFormat = format;
}

void RtfRunWriter::finishParagraph()
{
    m_body.append("\\pard");
    m_body.append(alignmentWord(m_alignment));
    m_body.append(m_paragraph);
    m_body.append(ParagraphEnd);
    m_paragraph.clear();
    m_lastFormat.reset();
}

QByteArray RtfRunWriter::tail() const
{
    return "\\pard" + alignmentWord(m_alignment) + m_paragraph + DocumentEnd;
}

} // namespace quillet
