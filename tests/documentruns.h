#pragma once

#include <QColor>
#include <QTest>

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
