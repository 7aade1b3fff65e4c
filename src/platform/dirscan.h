#pragma once

#include <QByteArray>

namespace quillet {

// Thin wrapper over readdir for loops over large folders: names are handed
// out as raw bytes, with the type the folder entry already knows.
enum class EntryType
{
    Regular,
    Directory,
    Symlink,
    Other, // pipe, socket, device
    Missing,
    Unknown, // the file system did not say; ask lstatType
};

class DirScanner final
{
public:
    explicit DirScanner(const QByteArray &folder);
    ~DirScanner();
    Q_DISABLE_COPY_MOVE(DirScanner)

    // 0 when the folder is open, otherwise the errno of opening it.
    int error() const { return m_error; }

    // The next entry ("." and ".." skipped); false at the end. `name` stays
    // valid until the next call.
    bool next(const char *&name, qsizetype &length, EntryType &type);

    // The type of an entry of this folder, without following links.
    EntryType typeOf(const char *name) const;

private:
    void *m_dir = nullptr;
    int m_error = 0;
};

// The type of `path` without following links.
EntryType lstatType(const char *path);

} // namespace quillet
