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

    void truncate(int count)
    {
        while (m_colours.size() > count)
            m_index.remove(m_colours.takeLast());
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

// The address a run links to; empty when it is no anchor or not one to open.
QUrl linkOf(const QTextCharFormat &format)
{
    if (!format.isAnchor())
        return {};
    const QUrl url(format.anchorHref());
    return isOpenableLink(url) ? url : QUrl();
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
        out.append("\\plain\\f0\\fs");
        appendNumber(out, halfPoints(format, defaultPointSize));
        if (format.fontWeight() > QFont::Medium)
            out.append("\\b");
        if (format.fontItalic())
            out.append("\\i");
        if (format.fontUnderline())
            out.append("\\ul");
        out.append("\\cf");
        const QBrush foreground = format.foreground();
        appendNumber(out, foreground.style() == Qt::NoBrush
                              ? 0
                              : colours.numberOf(foreground.color().rgb()));
        out.append(' ');
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
    Q_ASSERT(isOpenableLink(url));
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

RtfIncrementalWriter::RtfIncrementalWriter(QTextDocument *document) : m_document(document)
{
    // A document reports where it changed only once it has a layout.
    document->documentLayout();
    connect(document, &QTextDocument::contentsChange, this, [this](int from, int, int) {
        invalidateFrom(m_document->findBlock(from).blockNumber());
    });
}

void RtfIncrementalWriter::invalidateFrom(int blockNumber)
{
    blockNumber = qMax(0, blockNumber);
    if (blockNumber >= m_paragraphEnds.size())
        return;
    m_body.truncate(blockNumber == 0 ? 0 : m_paragraphEnds.at(blockNumber - 1));
    m_paragraphEnds.resize(blockNumber);
    m_finishedColours = m_coloursBefore.at(blockNumber);
    m_coloursBefore.resize(blockNumber);
    m_stableBody = qMin(m_stableBody, m_body.size());
}

void RtfIncrementalWriter::update()
{
    if (!m_document)
        return;
    const QTextDocument &document = *m_document;
    const qreal defaultPointSize = defaultPointSizeOf(document);
    if (defaultPointSize != m_defaultPointSize) {
        invalidateFrom(0); // runs without a size of their own take this one
        m_defaultPointSize = defaultPointSize;
    }
    ColourTable colours(m_colours, m_colourIndex);
    colours.truncate(m_finishedColours); // the last paragraph is written anew
    QTextBlock block = document.findBlockByNumber(int(m_paragraphEnds.size()));
    for (; block.isValid() && block.next().isValid(); block = block.next()) {
        m_coloursBefore.append(int(m_colours.size()));
        appendParagraph(m_body, block, colours, defaultPointSize);
        m_body.append(ParagraphEnd);
        m_paragraphEnds.append(m_body.size());
    }
    m_finishedColours = int(m_colours.size());
    m_tail.clear();
    if (block.isValid())
        appendParagraph(m_tail, block, colours, defaultPointSize);
    m_tail.append(DocumentEnd);
    m_header = makeHeader(document.defaultFont().family(), m_colours);
}

} // namespace quillet
