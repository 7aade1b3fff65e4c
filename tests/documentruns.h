#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

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

inline char *toString(const Run &run)
{
    return qstrdup(QStringLiteral("[%1] \"%2\" %3pt %4 #%5 align %6")
                       .arg(run.block)
                       .arg(run.text)
                       .arg(run.points)
                       .arg(run.bold ? QStringLiteral("bold") : QStringLiteral("plain"))
                       .arg(run.colour, 8, 16, QLatin1Char('0'))
                       .arg(int(run.alignment))
                       .toUtf8()
                       .constData());
}
