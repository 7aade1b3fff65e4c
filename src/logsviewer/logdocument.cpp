#include "logsviewer/logdocument.h"

#include "core/textfile.h"
#include "richtext/rtfreader.h"

#include <QColor>
#include <QFutureWatcher>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QtConcurrent>

namespace quillet {

using namespace Qt::StringLiterals;

Status loadLogDocument(const QString &path, QTextDocument *document, const QFont &defaultFont)
{
    document->clear();
    document->setDefaultFont(defaultFont);
    // The view is read-only: recording every insertion for undo would only cost time and memory.
    document->setUndoRedoEnabled(false);
    Result<QByteArray> bytes = TextFile::readBytes(path, MaxLogFileSize);
    if (!bytes) {
        if (bytes.error().number == ErrorCode::FileTooLarge)
            return Error::make(ErrorCode::LogTooLarge);
        return bytes.error();
    }
    return readRtf(bytes.value(), document);
}

void showLogError(QTextDocument *document, const Error &error, const QFont &font)
{
    document->clear();
    document->setDefaultFont(font);
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(QColor(255, 0, 0));
    format.setFontWeight(QFont::Bold);
    QTextCursor cursor(document);
    cursor.insertText(formatLogError(error), format);
}

QString formatLogError(const Error &error)
{
    return u"Код %1\n%2"_s.arg(error.number).arg(error.description);
}

// A document read on a worker thread. It has no thread while it waits, so the
// window's thread can take it, and it is deleted with this holder when no one does.
struct LogLoader::Loaded
{
    std::unique_ptr<QTextDocument> document;
};

LogLoader::LogLoader(QObject *parent) : QObject(parent) {}

LogLoader::~LogLoader() = default;

void LogLoader::load(const QString &path, const QFont &defaultFont)
{
    // An earlier read still running is left to end on its own; its result is dropped.
    delete m_pending;
    m_pending = new QFutureWatcher<std::shared_ptr<Loaded>>(this);
    auto *watcher = m_pending;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const std::shared_ptr<Loaded> result = watcher->result();
        m_pending = nullptr;
        watcher->deleteLater();
        QTextDocument *document = result->document.release();
        document->moveToThread(thread());
        emit loaded(document);
    });
    watcher->setFuture(QtConcurrent::run([path, defaultFont] {
        auto result = std::make_shared<Loaded>();
        result->document = std::make_unique<QTextDocument>();
        QTextDocument *document = result->document.get();
        if (Status read = loadLogDocument(path, document, defaultFont); !read)
            showLogError(document, read.error(), defaultFont);
        document->moveToThread(nullptr);
        return result;
    }));
}

} // namespace quillet
