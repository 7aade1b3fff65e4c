#pragma once

#include "core/error.h"

#include <QFont>
#include <QObject>
#include <QString>

#include <memory>

class QTextDocument;
template <class T> class QFutureWatcher;

namespace quillet {

// Logs larger than this are refused unread: a conversation of a day is far
// smaller, and a larger file would stall the window while it is laid out.
constexpr qint64 MaxLogFileSize = 64 * 1024 * 1024;

// Reads the RTF log at `path` into `document`, which is emptied first and
// given `defaultFont` for text the file gives no font.
Status loadLogDocument(const QString &path, QTextDocument *document, const QFont &defaultFont);

// Replaces the content of `document` by the error's number and description,
// red and bold, in `font`.
void showLogError(QTextDocument *document, const Error &error, const QFont &font);

// The text the viewer shows for an error: "Код N", a line break, the description.
QString formatLogError(const Error &error);

// Reads logs on a worker thread, so that a large log never freezes the window.
// Only the latest request is delivered: a read overtaken by a newer one is
// dropped when it ends.
class LogLoader final : public QObject
{
    Q_OBJECT

public:
    explicit LogLoader(QObject *parent = nullptr);
    ~LogLoader() override;
    Q_DISABLE_COPY_MOVE(LogLoader)

    // Starts reading the log at `path`; the result is the log, or the error in
    // red bold when it cannot be read.
    void load(const QString &path, const QFont &defaultFont);
    bool isLoading() const { return m_pending != nullptr; }

signals:
    // The receiver takes ownership of `document`, which lives in its thread.
    void loaded(QTextDocument *document);

private:
    struct Loaded;
    QFutureWatcher<std::shared_ptr<Loaded>> *m_pending = nullptr;
};

} // namespace quillet
