#include "gui/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QStringTokenizer>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

FileDialog::Handler &fileHandler()
{
    static FileDialog::Handler value;
    return value;
}

ColorDialog::Handler &colorHandler()
{
    static ColorDialog::Handler value;
    return value;
}

constexpr qint32 White = 0xFFFFFF;

// Without a screen nobody can answer a dialog: a headless run that reaches one
// unanswered gets "cancelled" rather than waiting forever.
bool nobodyToAsk(const char *what)
{
    if (QGuiApplication::platformName() != "offscreen"_L1)
        return false;
    qWarning("%s dialog cancelled: no screen and no answer", what);
    return true;
}

FileDialog::Reply showFileDialog(const FileDialog::Request &request, FileDialog::Mode mode)
{
    QFileDialog dialog(request.owner, QString(), request.initialFolder, request.filter);
    // Qt's own dialog speaks Russian through Qt's translation; a desktop's dialog
    // would speak the desktop's language.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (mode == FileDialog::Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.defaultSuffix);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {true, dialog.selectedFiles().constFirst()};
}

// Keeps the user's input from one window while a dialog over it is open, and
// brings the dialog forward when that window is clicked. Qt's own modality
// would block the window's owners too (the chat window below the settings).
class OwnerBlocker final : public QObject
{
public:
    OwnerBlocker(QWidget *owner, QWidget *dialog) : m_owner(owner), m_dialog(dialog)
    {
        qApp->installEventFilter(this);
    }
    ~OwnerBlocker() override { qApp->removeEventFilter(this); }
    Q_DISABLE_COPY_MOVE(OwnerBlocker)

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!watched->isWidgetType() || static_cast<QWidget *>(watched)->window() != m_owner)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TabletPress:
        case QEvent::TouchBegin:
            m_dialog->raise();
            m_dialog->activateWindow();
            return true;
        case QEvent::ShortcutOverride: // taken here, so no shortcut of the window fires
            event->accept();
            return true;
        case QEvent::Close: // the dialog's owner stays while the dialog is open
            event->ignore();
            return true;
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ContextMenu:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
        }
    }

private:
    QWidget *m_owner;
    QWidget *m_dialog;
};

// Modal towards its owner window only.
int execOverOwner(QDialog &dialog, QWidget *owner)
{
    if (!owner)
        return dialog.exec();
    const OwnerBlocker blocker(owner->window(), &dialog);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.show();
    loop.exec(QEventLoop::DialogExec);
    return dialog.result();
}

ColorDialog::Reply showColorDialog(const ColorDialog::Request &request)
{
    const QList<qint32> custom = ColorDialog::parseCustomColors(request.customColors);
    for (int i = 0; i < ColorDialog::CustomColorCount; ++i)
        QColorDialog::setCustomColor(i, colorFromRgbValue(custom[i]));
    QColorDialog dialog(request.color, request.owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (execOverOwner(dialog, request.owner) != QDialog::Accepted)
        return {};
    QList<qint32> chosen;
    for (int i = 0; i < ColorDialog::CustomColorCount; ++i)
        chosen.append(rgbValueFromColor(QColorDialog::customColor(i)));
    return {true, dialog.selectedColor(), ColorDialog::formatCustomColors(chosen)};
}

} // namespace

QColor colorFromRgbValue(qint32 value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

qint32 rgbValueFromColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return rgb.red() | (rgb.green() << 8) | (rgb.blue() << 16);
}

bool FileDialog::showSave()
{
    return show(Mode::Save);
}

bool FileDialog::showOpen()
{
    return show(Mode::Open);
}

bool FileDialog::show(Mode mode)
{
    m_request.mode = mode;
    Reply reply;
    if (fileHandler())
        reply = fileHandler()(m_request);
    else if (!nobodyToAsk("File"))
        reply = showFileDialog(m_request, mode);
    m_fileName = reply.confirmed ? reply.fileName : QString();
    return reply.confirmed && !m_fileName.isEmpty();
}

void FileDialog::setHandler(Handler handler)
{
    fileHandler() = std::move(handler);
}

void FileDialog::resetHandler()
{
    fileHandler() = nullptr;
}

bool ColorDialog::exec()
{
    Reply reply;
    if (colorHandler())
        reply = colorHandler()(m_request);
    else if (!nobodyToAsk("Colour"))
        reply = showColorDialog(m_request);
    if (!reply.confirmed)
        return false;
    m_request.color = QColor(reply.color.rgb()); // opaque
    m_request.customColors = reply.customColors;
    return true;
}

QList<qint32> ColorDialog::parseCustomColors(const QString &text)
{
    QList<qint32> colors;
    for (QStringView entry : QStringTokenizer(text, ','_L1)) {
        if (colors.size() == CustomColorCount)
            break;
        bool ok = false;
        const uint value = entry.trimmed().toUInt(&ok, 10);
        colors.append(ok && value <= uint(White) ? qint32(value) : White);
    }
    while (colors.size() < CustomColorCount)
        colors.append(White);
    return colors;
}

QString ColorDialog::formatCustomColors(const QList<qint32> &colors)
{
    QStringList parts;
    for (qint32 color : colors)
        parts.append(QString::number(color));
    return parts.join(','_L1);
}

void ColorDialog::setHandler(Handler handler)
{
    colorHandler() = std::move(handler);
}

void ColorDialog::resetHandler()
{
    colorHandler() = nullptr;
}

} // namespace quillet
