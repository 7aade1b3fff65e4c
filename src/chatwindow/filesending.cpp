#include "chatwindow/filesending.h"

#include "chatwindow/messagerenderer.h"
#include "core/messagetime.h"
#include "core/support.h"
#include "exchange/filesender.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"

#include <QDir>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr int ProgressSteps = 1000;

bool onlyLocalFiles(const QList<QUrl> &urls)
{
    return !urls.isEmpty() &&
           std::all_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

bool offersPicture(const QMimeData *mime)
{
    return mime->hasImage() && !mime->hasText();
}

void showRefusal(QWidget *owner, const Error &error)
{
    Boxes::showError(owner, error, {BoxButtons::Ok, BoxIcon::Warning}, u"Файлы не отправлены."_s);
}

} // namespace

bool offersFiles(const QMimeData *mime)
{
    return onlyLocalFiles(mime->urls()) || offersPicture(mime);
}

OfferedFiles offeredFiles(const QMimeData *mime)
{
    OfferedFiles offer;
    const QList<QUrl> urls = mime->urls();
    if (onlyLocalFiles(urls)) {
        for (const QUrl &url : urls)
            offer.files.append(url.toLocalFile());
    } else if (offersPicture(mime)) {
        offer.picture = qvariant_cast<QImage>(mime->imageData());
    }
    return offer;
}

// ---------------------------------------------------------------- the message box

QString MessageEdit::messageText() const
{
    const QString text = trimText(toPlainText(), TrimBreaks);
    // The emptiness test trims both kinds, blanks and line breaks in any mix.
    return trimText(text, TrimBlanksAndBreaks).isEmpty() ? QString() : text;
}

bool MessageEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return offersFiles(source) || QPlainTextEdit::canInsertFromMimeData(source);
}

void MessageEdit::insertFromMimeData(const QMimeData *source)
{
    const OfferedFiles offer = offeredFiles(source);
    if (offer.isEmpty())
        QPlainTextEdit::insertFromMimeData(source);
    else
        emit filesOffered(offer);
}

// ---------------------------------------------------------------- sending

FileSending::FileSending(const ChatContext &chat, MessageEdit *box, QLineEdit *userName,
                         QWidget *parent)
    : QWidget(parent), m_chat(chat), m_box(box), m_userName(userName),
      m_bar(new QProgressBar(this)), m_cancel(new QPushButton(u"Отмена"_s, this))
{
    setObjectName(u"fileSending"_s);
    m_bar->setRange(0, ProgressSteps);
    m_bar->setAccessibleName(u"Отправка файлов"_s);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_bar, 1);
    row->addWidget(m_cancel);
    hide();

    m_progressDelay.setSingleShot(true);
    m_progressDelay.setInterval(ProgressDelayMs);
    connect(&m_progressDelay, &QTimer::timeout, this, &QWidget::show);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancel->setEnabled(false);
        if (m_job)
            m_job->cancel();
    });
    // Sent once the paste or the drop is over: a box shown within a drop would
    // keep the drag's source waiting.
    connect(box, &MessageEdit::filesOffered, this, &FileSending::send, Qt::QueuedConnection);
}

FileSending::~FileSending() = default;

void FileSending::acceptDrops(QWidget *widget)
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

void FileSending::addMenuEntry(QMenu *menu)
{
    menu->addSeparator();
    QAction *entry = menu->addAction(u"Отправить файл…"_s);
    // Chosen once the menu has closed, so that the dialog is not opened from within it.
    connect(entry, &QAction::triggered, this, &FileSending::chooseAndSend, Qt::QueuedConnection);
}

bool FileSending::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QWidget::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    if (!offersFiles(drop->mimeData()))
        return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        QMetaObject::invokeMethod(
            this, [this, offer = offeredFiles(drop->mimeData())] { send(offer); },
            Qt::QueuedConnection);
    return true;
}

void FileSending::chooseAndSend()
{
    FileDialog dialog;
    dialog.setOwnerWindow(window());
    dialog.setFilter(u"Все файлы (*)"_s);
    dialog.setInitialFolder(QDir::homePath());
    if (dialog.showOpen())
        sendFiles({dialog.fileName()});
}

void FileSending::send(const OfferedFiles &offer)
{
    if (offer.picture.isNull())
        sendFiles(offer.files);
    else
        sendPicture(offer.picture);
}

bool FileSending::refuseWhileSending()
{
    if (isSending())
        emit refused(u"Файлы ещё отправляются. Следующие можно отправить, когда эта отправка "
                     "закончится или будет отменена."_s);
    return isSending();
}

// A pasted picture becomes a PNG file in a private temporary folder, which
// goes when the send has ended. A screenshot of a large screen has millions of
// pixels to compress: that is done off the event loop.
void FileSending::sendPicture(const QImage &picture)
{
    if (refuseWhileSending())
        return;
    m_encoding = true;
    const QString name =
        u"Изображение %1.png"_s.arg(Clock::nowLocal().toString(u"yyyy-MM-dd hh-mm-ss"_s));
    m_encoder.start([this, picture, name] {
        auto folder = std::make_shared<QTemporaryDir>();
        const QString path = folder->filePath(name);
        const bool saved = folder->isValid() && picture.save(path, "PNG");
        QMetaObject::invokeMethod(
            this, [this, folder, path, saved] { pictureEncoded(folder, path, saved); });
    });
}

void FileSending::pictureEncoded(const std::shared_ptr<QTemporaryDir> &folder, const QString &path,
                                 bool saved)
{
    m_encoding = false;
    if (!saved) {
        showRefusal(window(), Error::make(ErrorCode::WriteFailed));
        return;
    }
    m_pictureFolder = folder;
    sendFiles({path});
}

void FileSending::sendFiles(const QStringList &files)
{
    if (refuseWhileSending())
        return;
    if (const Result<qint64> checked = checkSendSources(files); !checked) {
        showRefusal(window(), checked.error());
        m_pictureFolder.reset();
        return;
    }
    m_typed = m_box->toPlainText();
    m_job = new FileSendJob({m_chat.exchangeFolder, displayName(m_userName->text()),
                             m_box->messageText(), m_chat.userId, files},
                            this);
    connect(m_job, &FileSendJob::progressed, this, &FileSending::showProgress);
    connect(m_job, &FileSendJob::finished, this, [this] {
        if (m_box->toPlainText() == m_typed)
            m_box->clear();
        sendEnded();
    });
    connect(m_job, &FileSendJob::failed, this, [this](const Error &error) {
        sendEnded();
        if (error.number != ErrorCode::SendCancelled)
            emit failed(error);
    });
    m_bar->setValue(0);
    m_cancel->setEnabled(true);
    m_progressDelay.start();
    m_job->start();
}

void FileSending::showProgress(qint64 done, qint64 total)
{
    m_bar->setValue(total > 0 ? int(done * ProgressSteps / total) : ProgressSteps);
}

void FileSending::sendEnded()
{
    m_progressDelay.stop();
    hide();
    m_job->deleteLater();
    m_job = nullptr;
    m_pictureFolder.reset();
}

} // namespace quillet
