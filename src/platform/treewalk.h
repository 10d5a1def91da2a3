#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QFlags>
#include <QString>

#include <ctime>
#include <functional>
#include <sys/types.h>

namespace quillory {

// A folder or regular file met below a walked folder, links followed: what it is now.
struct WalkedEntry {
    // Relative to the walked folder, "/" between names; a folder's has no "/" at its end.
    QString path;
    bool folder = false;
    quint64 size = 0;
    time_t modified = 0;
    mode_t mode = 0;
    // A name that is no UTF-8 text (copied from an old Latin-1 disk, say): no path in the
    // program's text can name it again, so it is only told of, with its odd bytes shown as
    // "\xE9", and never entered or read.
    bool undecodable = false;
};

enum class WalkOption {
    // Into every folder below, not only the walked one's own files.
    Recurse = 0x1,
    // Fails the walk, naming the file, at a file that cannot be opened or whose first byte cannot
    // be read.
    RequireReadable = 0x2,
};
Q_DECLARE_FLAGS(WalkOptions, WalkOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(WalkOptions)

// A file name's bytes as text for messages: printable ASCII as it is, every other byte as "\xE9".
QString escapedName(const QByteArray &bytes);

// 0 when the file `name` in the open folder `folderFd` (or AT_FDCWD) opens and its first byte, if
// any, can be read; else errno's value. Not blocking, so that a file swapped for a pipe since it
// was looked at cannot hang the caller.
int firstByteError(int folderFd, const char *name);

// Hands `visit` every folder and regular file below `root`, a folder's contents right after it,
// each folder's in the file system's order. Names are looked up from their open folder, never by
// a whole path again: a mail store holds tens of thousands of files a few folders down a prefix,
// whose every full look-up would walk the whole way again.
// Pipes, sockets, devices and dangling links hold no data and are passed over, as is a folder met
// a second time through a link, which could otherwise lead round and round. A folder that cannot
// be listed fails the walk ("The folder ... cannot be read."), as does whatever `visit` fails with.
Result walkTree(const QString &root, WalkOptions options,
                const std::function<Result(const WalkedEntry &)> &visit);

} // namespace quillory
