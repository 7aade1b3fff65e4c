#pragma once

#include <QColor>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

// One run of a rich-text document, as the tests compare it.
struct Run
{
    int block = 0;
    QString text;
    qreal points = 0;
    bool bold = false;
    QRgb colour = 0; // 0xAARRGGBB; alpha 0 when the run has no colour of its own
    Qt::Alignment alignment = Qt::AlignLeft;

    friend bool operator==(const Run &, const Run &) = default;
};

inline char *toString(const Run &r)
{
    return QTest::toString(QStringLiteral("[%1] \"%2\" %3pt bold %4 #%5 align %6")
                               .arg(QString::number(r.block), r.text, QString::number(r.points),
                                    QString::number(r.bold), QString::number(r.colour, 16),
                                    QString::number(int(r.alignment))));
}

// The runs of a document; neighbours with equal attributes are joined, as the
// same text may be split differently by different writers.
inline QList<Run> runsOf(const QTextDocument &document)
{
    QList<Run> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        Qt::Alignment alignment = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        alignment = alignment == Qt::AlignLeading ? Qt::AlignLeft : alignment;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QRgb colour =
                f.foreground().style() == Qt::NoBrush ? 0 : f.foreground().color().rgb();
            const Run run(block.blockNumber(), it.fragment().text(), f.fontPointSize(),
                          f.fontWeight() > QFont::Medium, colour, alignment);
            Run *last = runs.isEmpty() ? nullptr : &runs.last();
            if (last && last->block == run.block && last->points == run.points &&
                last->bold == run.bold && last->colour == run.colour)
                last->text += run.text;
            else
                runs.append(run);
        }
    }
    return runs;
}
