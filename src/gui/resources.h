#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QWidget;

// The program's own resources under their resource names: PNG pictures of the
// type "PNG_PICTURES" (32 x 32 with alpha) and the icons "A_MAIN",
// "IDI_MESSAGE" and "IDI_EMPTY" in several sizes.

namespace quillet {

// The bytes of a PNG picture resource.
Result<QByteArray> resourcePicture(const QString &name);
// The name of the same picture at twice the pixels, for screens of a higher
// pixel ratio.
QString doubleSizeName(const QString &name);
// A picture a picture button can show, from the bytes of a PNG image.
Result<QPixmap> pictureFromPng(const QByteArray &png);
// An icon resource with all its sizes; a null icon when there is none.
QIcon resourceIcon(const QString &name);
// Gives the window the icon resource in all its sizes.
void setWindowIconFromResource(QWidget *window, const QString &name);

} // namespace quillet
