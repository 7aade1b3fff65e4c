#include "gui/resources.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QWidget>

// Q_INIT_RESOURCE works only outside any namespace.
static void initQuilletResources()
{
    Q_INIT_RESOURCE(quillet_resources);
}

namespace quillet {

using namespace Qt::StringLiterals;

// The resources live in a static library: register them before the first use,
// since nothing else would pull their initialiser into the program.
static void ensureResources()
{
    static const bool registered = [] {
        initQuilletResources();
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

constexpr qint64 MaxPictureSize = 4 * 1024 * 1024;

// Resource names are plain names, never paths into other resources.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.contains('/'_L1) && !name.startsWith('.'_L1);
}

} // namespace

Result<QByteArray> resourcePicture(const QString &name)
{
    ensureResources();
    if (!isPlainName(name))
        return Error::make(ErrorCode::ResourceNotFound);
    QFile file(u":/PNG_PICTURES/"_s + name);
    if (!file.open(QIODevice::ReadOnly))
        return Error::make(ErrorCode::ResourceNotFound);
    return file.readAll();
}

QString doubleSizeName(const QString &name)
{
    return name + u"@2x"_s;
}

Result<QPixmap> pictureFromPng(const QByteArray &png)
{
    if (png.size() > MaxPictureSize)
        return Error::make(ErrorCode::BadPicture);
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    QImage image = reader.read();
    if (image.isNull())
        return Error::make(ErrorCode::BadPicture);
    return QPixmap::fromImage(std::move(image));
}

QIcon resourceIcon(const QString &name)
{
    ensureResources();
    QIcon icon;
    if (!isPlainName(name))
        return icon;
    const QDir folder(u":/ICONS/"_s + name);
    for (const QString &size : folder.entryList(QDir::Files))
        icon.addFile(folder.filePath(size));
    return icon;
}

void setWindowIconFromResource(QWidget *window, const QString &name)
{
    if (window)
        window->setWindowIcon(resourceIcon(name));
}

} // namespace quillet
