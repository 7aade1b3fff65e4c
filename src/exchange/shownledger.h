#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include "core/error.h"

namespace quillet {

// This computer's record of shown message files for folders whose file system
// keeps no extended attributes. It lives under $XDG_STATE_HOME, never in the
// synchronised folder: one file per exchange folder, one percent-encoded file
// name per line, only ever appended to (a torn last line is ignored).
class ShownLedger final
{
public:
    explicit ShownLedger(const QString &folder);
    Q_DISABLE_COPY_MOVE(ShownLedger)

    bool isEmpty() const { return m_names.isEmpty(); }
    bool contains(const QByteArray &name) const { return m_names.contains(name); }
    Status add(const QByteArray &name);

    QString filePath() const { return m_filePath; }
    static QString filePathFor(const QString &folder);

private:
    void load();

    QString m_folder;
    QString m_filePath;
    QSet<QByteArray> m_names;
};

} // namespace quillet
