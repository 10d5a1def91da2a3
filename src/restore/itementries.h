#pragma once

#include "platform/result.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace quillory {

struct OpenedBackup;

// Whether an entry of the accounts item is a nested archive holding one folder of the store.
bool isFolderArchive(const QString &entryName);
// The store folder a nested archive restores: its name without ".zip".
QString folderOfArchive(const QString &entryName);

// The entries item `index` is restored from, in the order listed, checked against the
// archive's entries before anything is written. Fails when a name is not a plain file name,
// when a nested archive would restore a folder that is not a subfolder of the store, when the
// archive lacks a listed entry, or when a registry item names no entry. The store database
// name is passed over when the archive does not hold it.
Expected<QStringList> itemEntries(const OpenedBackup &state, int index,
                                  const QSet<QString> &archiveEntries);

} // namespace quillory
