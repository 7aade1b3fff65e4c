#pragma once

#include "error.h"

#include <QString>

class QFont;
class QTextDocument;

// Logs larger than this are refused unread: a conversation of a day is far
// smaller, and a larger file would stall the window while it is laid out.
constexpr qint64 MaxLogFileSize = 64 * 1024 * 1024;

// Reads the RTF log at `path` into `document`, which is emptied first and
// given `defaultFont` for text the file gives no font.
Status LoadLogDocument(const QString &path, QTextDocument *document, const QFont &defaultFont);

// Replaces the content of `document` by the error's number and description,
// red and bold, in `font`.
void ShowLogError(QTextDocument *document, const Error &error, const QFont &font);

// The text the viewer shows for an error: "Код N", a line break, the description.
QString FormatLogError(const Error &error);
