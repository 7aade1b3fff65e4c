#pragma once

#include "platform/files.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QtGlobal>

namespace quillet {

// Files inside a folder reached through descriptors, one path component at a
// time, never through a symbolic link: a link anywhere below the base folder
// is ELOOP. Each call returns 0 or an errno value (NotRegularFileError for a
// device, a pipe or a socket).

// The base folder itself, links followed: the user chose it.
int openFolder(const QByteArray &path, FileDescriptor &folder);
// Each of `components` below `base` must be a real folder.
int openFolderBeneath(int base, const QByteArrayList &components, FileDescriptor &folder);
// A regular file of `folder` for reading, never blocking on a pipe or device.
int openRegularFileAt(int folder, const QByteArray &name, FileDescriptor &file, FileStamp &stamp);
// A regular file for reading, links followed: a file the user chose.
int openRegularFile(const QByteArray &path, FileDescriptor &file, FileStamp &stamp);

// A new folder in `folder`, opened; an existing one is EEXIST.
int makeFolderAt(int folder, const QByteArray &name, FileDescriptor &made);
// A new file in `folder`, opened for reading and writing; an existing one is EEXIST.
int createFileAt(int folder, const QByteArray &name, FileDescriptor &file);
// Moves `from` to `to` in `folder` unless `to` exists (EEXIST).
int renameAtNoReplace(int folder, const QByteArray &from, const QByteArray &to);
int removeFileAt(int folder, const QByteArray &name);
int removeFolderAt(int folder, const QByteArray &name);

// Reads up to `length` bytes at `offset`; `got` is 0 at the end of the file.
int readAt(int fd, char *buffer, qint64 length, qint64 offset, qint64 &got);
// Copies up to `length` bytes at `offset` from one file to the same offset of
// another inside the kernel; `copied` is 0 at the end of the source. EXDEV,
// EINVAL or EOPNOTSUPP mean the file systems cannot do it.
int copyRangeAt(int from, int to, qint64 offset, qint64 length, qint64 &copied);
// Starts writing back a range of a file now rather than at the next flush.
int startWriteback(int fd, qint64 offset, qint64 length);

} // namespace quillet
