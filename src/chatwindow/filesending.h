#pragma once

#include "core/chatcontext.h"
#include "core/error.h"

#include <QImage>
#include <QPlainTextEdit>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <memory>

class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QPushButton;
class QTemporaryDir;

namespace quillet {

class FileSendJob;

// What a drop or the clipboard holds to be sent: local files, or else a
// picture that comes without text (office programs put a picture of copied
// cells beside their text, and the text is meant). Otherwise it is text.
struct OfferedFiles
{
    QStringList files;
    QImage picture;

    bool isEmpty() const { return files.isEmpty() && picture.isNull(); }
};
// Cheap enough for every move of a drag: the picture is not decoded.
bool offersFiles(const QMimeData *mime);
OfferedFiles offeredFiles(const QMimeData *mime);

// The message box. Files and pictures pasted or dropped into it are offered
// for sending; text is pasted and dropped as in any text box.
class MessageEdit final : public QPlainTextEdit
{
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    // The typed text as it is sent: line breaks trimmed at both ends, and empty
    // when only blanks and line breaks were typed.
    QString messageText() const;

signals:
    void filesOffered(const quillet::OfferedFiles &offer);

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
};

// Sends files with the message box's text as their caption, one send at a
// time: the files are checked first (a refusal is shown in a box), then copied
// off the event loop. This row under the message box shows the progress and a
// cancel button for a send that runs longer than half a second. The box is
// cleared when the files are sent, unless the user has typed on meanwhile.
class FileSending final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ProgressDelayMs = 500;

    FileSending(const ChatContext &chat, MessageEdit *box, QLineEdit *userName, QWidget *parent);
    ~FileSending() override;
    Q_DISABLE_COPY_MOVE(FileSending)

    // Files and pictures dropped on `widget` are sent.
    void acceptDrops(QWidget *widget);
    // "Отправить файл…" at the end of a context menu.
    void addMenuEntry(QMenu *menu);
    void send(const OfferedFiles &offer);
    void sendFiles(const QStringList &files);
    // The file dialog, and the chosen file sent.
    void chooseAndSend();
    bool isSending() const { return m_job != nullptr || m_encoding; }

signals:
    // A send failed; a cancelled one is no failure.
    void failed(const quillet::Error &error);
    // A send asked for while another runs is refused with this line.
    void refused(const QString &line);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool refuseWhileSending();
    void sendPicture(const QImage &picture);
    void pictureEncoded(const std::shared_ptr<QTemporaryDir> &folder, const QString &path,
                        bool saved);
    void showProgress(qint64 done, qint64 total);
    void sendEnded();

    const ChatContext m_chat;
    MessageEdit *m_box;
    QLineEdit *m_userName;
    QProgressBar *m_bar;
    QPushButton *m_cancel;
    QTimer m_progressDelay;
    FileSendJob *m_job = nullptr;
    std::shared_ptr<QTemporaryDir> m_pictureFolder; // of a pasted picture while it is sent
    QString m_typed;                                // the box's text when the send began
    bool m_encoding = false;                        // a pasted picture is being encoded
    QThreadPool m_encoder; // last: waits for an encoding before the rest goes
};

} // namespace quillet
