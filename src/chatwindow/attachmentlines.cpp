#include "chatwindow/attachmentlines.h"

#include "chatwindow/conversationview.h"
#include "core/support.h"
#include "platform/folderaccess.h"
#include "settings/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QTimer>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr int IconSide = 16;
constexpr qint64 RewriteSliceMs = 20;
constexpr int AllocationLimitMb = int(MaxPicturePixels * 4 / (1024 * 1024)) + 1;
const QColor NoteColour(128, 128, 128);
constexpr const char *PictureFormats[] = {"png", "jpeg", "gif", "webp", "bmp"};

// The file below the exchange folder, each part opened without following a link.
bool openBeneath(const QString &exchangeFolder, const QString &path, FileDescriptor &file)
{
    QByteArrayList parts = QFile::encodeName(path).split('/');
    const QByteArray name = parts.takeLast();
    FileDescriptor base;
    FileDescriptor folder;
    FileStamp stamp;
    return openFolder(QFile::encodeName(exchangeFolder), base) == 0 &&
           openFolderBeneath(base.get(), parts, folder) == 0 &&
           openRegularFileAt(folder.get(), name, file, stamp) == 0;
}

QImage scaledToThumbnail(QImageReader &reader)
{
    const QSize size = reader.size();
    if (size.width() > ThumbnailSide || size.height() > ThumbnailSide) {
        // JPEG decodes straight to the smaller size, far faster than at full size.
        reader.setScaledSize(size.scaled(ThumbnailSide, ThumbnailSide, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.width() > ThumbnailSide || image.height() > ThumbnailSide)
        image = image.scaled(ThumbnailSide, ThumbnailSide, Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    return image;
}

QUrl thumbnailResource(const QString &path)
{
    QUrl url;
    url.setScheme(u"quillet-thumbnail"_s);
    url.setPath(path);
    return url;
}

} // namespace

QString sizeSuffix(const Attachment &attachment)
{
    return u" ("_s + formatByteSize(double(attachment.size)) + u')';
}

QString refusalText(const QString &name, const Error &why)
{
    return (name.isEmpty() ? QString() : name + u" — "_s) + why.description;
}

QImage decodeThumbnail(const QString &exchangeFolder, const QString &path)
{
    FileDescriptor descriptor;
    if (!openBeneath(exchangeFolder, path, descriptor))
        return {};
    QFile file;
    if (!file.open(descriptor.get(), QIODevice::ReadOnly, QFile::DontCloseHandle))
        return {};
    QImageReader reader(&file);
    reader.setAllocationLimit(AllocationLimitMb);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    const bool picture = std::any_of(std::begin(PictureFormats), std::end(PictureFormats),
                                     [&](const char *known) { return format == known; });
    const QSize size = reader.size();
    if (!picture || size.isEmpty() || qint64(size.width()) * size.height() > MaxPicturePixels)
        return {};
    return scaledToThumbnail(reader);
}

AttachmentLines::AttachmentLines(QTextEdit *view, const QString &exchangeFolder)
    : m_view(view), m_exchangeFolder(exchangeFolder), m_checker(exchangeFolder)
{
    m_decoder.setMaxThreadCount(1);
    connect(&m_checker, &AttachmentChecker::stateChanged, this, &AttachmentLines::stateChanged);
}

AttachmentLines::~AttachmentLines()
{
    m_decoder.clear();
    m_decoder.waitForDone();
}

QString AttachmentLines::filePath(const Attachment &attachment) const
{
    return joinPath(m_exchangeFolder, attachment.path);
}

void AttachmentLines::append(const Attachment &attachment)
{
    QTextCursor cursor(m_view->document());
    cursor.movePosition(QTextCursor::End);
    Line &line = m_lines[attachment.path];
    const bool known = !line.places.isEmpty();
    if (!known) {
        line.attachment = attachment;
        if (!attachment.ok()) {
            line.state = AttachmentState::Refused;
            line.why = attachment.error;
        }
    }
    write(cursor, line);
    cursor.insertText(u"\r\n"_s);
    cursor.movePosition(QTextCursor::PreviousBlock);
    line.places.append(cursor);
    if (!known && attachment.ok())
        m_checker.watch(attachment);
}

void AttachmentLines::stateChanged(const QString &path, AttachmentState state, const Error &why)
{
    const auto found = m_lines.find(path);
    if (found == m_lines.end() || found->state == AttachmentState::Refused)
        return;
    found->state = state;
    found->why = why;
    if (state == AttachmentState::Ready)
        startDecoding(*found);
    scheduleRewrite(path);
}

void AttachmentLines::startDecoding(Line &line)
{
    if (line.decoding || !line.thumbnail.isNull())
        return;
    line.decoding = true;
    const QString path = line.attachment.path;
    m_decoder.start([this, path, folder = m_exchangeFolder] {
        const QImage thumbnail = decodeThumbnail(folder, path);
        QMetaObject::invokeMethod(this,
                                  [this, path, thumbnail] { thumbnailDecoded(path, thumbnail); });
    });
}

void AttachmentLines::thumbnailDecoded(const QString &path, const QImage &thumbnail)
{
    const auto found = m_lines.find(path);
    if (found == m_lines.end())
        return;
    found->decoding = false;
    if (thumbnail.isNull())
        return;
    found->thumbnail = thumbnail;
    m_view->document()->addResource(QTextDocument::ImageResource, thumbnailResource(path),
                                    thumbnail);
    scheduleRewrite(path);
}

// Files checked or decoded together change together: their lines are rewritten
// in one edit of the view, a slice at a time, so that a hundred pictures coming
// in never hold the event loop for long.
void AttachmentLines::scheduleRewrite(const QString &path)
{
    if (!m_dirty.contains(path))
        m_dirty.append(path);
    if (m_dirty.size() == 1)
        QTimer::singleShot(0, this, &AttachmentLines::rewriteDirty);
}

void AttachmentLines::rewriteDirty()
{
    QElapsedTimer slice;
    slice.start();
    QStringList done;
    {
        const ScrollKeeper scroll(m_view);
        QTextCursor edit(m_view->document());
        edit.beginEditBlock();
        while (!m_dirty.isEmpty() && slice.elapsed() < RewriteSliceMs) {
            const Line &line = m_lines[done.emplaceBack(m_dirty.takeFirst())];
            for (QTextCursor cursor : line.places) {
                cursor.movePosition(QTextCursor::StartOfBlock);
                cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
                write(cursor, line);
            }
        }
        edit.endEditBlock();
    }
    if (!m_dirty.isEmpty())
        QTimer::singleShot(0, this, &AttachmentLines::rewriteDirty);
    for (const QString &path : std::as_const(done))
        emit lineUpdated(path);
}

// The icon, then the name and size; a note while the file is not there, a link
// and the thumbnail once it is; the reason for a refused file.
void AttachmentLines::write(QTextCursor &cursor, const Line &line)
{
    const Attachment &file = line.attachment;
    const SettingsRecord &settings = appSettings();
    const auto text = [&](const QString &piece, const QColor &colour, const QUrl &link = {}) {
        insertRun(cursor, {piece, MessageTextPoints, false, colour, Qt::AlignLeft, link});
    };
    if (line.state == AttachmentState::Refused) {
        text(refusalText(file.name(), line.why), settings.systemColor);
        return;
    }
    QTextImageFormat icon;
    icon.setName(iconResource(file));
    icon.setWidth(IconSide);
    icon.setHeight(IconSide);
    icon.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    cursor.insertImage(icon);
    const QString size = sizeSuffix(file);
    if (line.state != AttachmentState::Ready) {
        text(u" "_s + file.name() + size, settings.messageColor);
        text(u" — Файл ещё не получен"_s, NoteColour);
        return;
    }
    const QUrl link = QUrl::fromLocalFile(filePath(file));
    text(u" "_s, settings.messageColor);
    text(file.name(), QGuiApplication::palette().color(QPalette::Link), link);
    text(size, settings.messageColor);
    if (line.thumbnail.isNull())
        return;
    text(QString(QChar::LineSeparator), settings.messageColor);
    QTextImageFormat picture;
    picture.setAnchor(true);
    picture.setAnchorHref(QString::fromLatin1(link.toEncoded()));
    picture.setName(thumbnailResource(file.path).toString());
    picture.setWidth(line.thumbnail.width());
    picture.setHeight(line.thumbnail.height());
    cursor.insertImage(picture);
}

// The type's icon from the desktop's theme, once per type in the document.
QString AttachmentLines::iconResource(const Attachment &attachment)
{
    const QMimeType type = QMimeDatabase().mimeTypeForName(attachment.type);
    const QString iconName = type.isValid() ? type.iconName() : u"unknown"_s;
    const QUrl url(u"quillet-icon:"_s + iconName);
    QTextDocument *document = m_view->document();
    if (document->resource(QTextDocument::ImageResource, url).isNull()) {
        QIcon icon = QIcon::fromTheme(iconName, QIcon::fromTheme(type.genericIconName()));
        if (icon.isNull())
            icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        const qreal ratio = m_view->devicePixelRatioF();
        document->addResource(QTextDocument::ImageResource, url,
                              icon.pixmap(QSize(IconSide, IconSide), ratio).toImage());
    }
    return url.toString();
}

} // namespace quillet
