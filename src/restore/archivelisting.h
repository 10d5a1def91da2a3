#pragma once

#include "app/itemtable.h"
#include "platform/result.h"

#include <QList>
#include <QString>

namespace quillory {

class ZipArchive;
struct OpenedBackup;

// A folder of an account and the messages (".eml" files) directly in it.
struct MessageFolderListing {
    // Its path inside the account folder, "/" between the parts; "." for the account folder.
    QString name;
    quint64 messages = 0;
    quint64 bytes = 0;
};

struct AccountListing {
    // The account's folder in the store, as a restore of one account names it.
    QString folder;
    QList<MessageFolderListing> messageFolders;
    quint64 messages = 0;
    quint64 bytes = 0;
};

struct FileListing {
    QString name;
    quint64 size = 0;
};

// What the archive holds of one item.
struct ItemListing {
    int index = 0;
    bool held = false;
    // The accounts item: one per account folder, and its other files (the store database).
    QList<AccountListing> accounts;
    // File items, and the accounts item's files.
    QList<FileListing> files;
    // Registry items: the keys and values their registry file carries.
    quint64 keys = 0;
    quint64 values = 0;
};

// Every item of the opened archive `state` describes, in index order. Reads the directories of
// the archive and of its nested archives, and the registry files; no message is read. Nested
// archives stored compressed are inflated into `scratchFolder` for the time they are read. Fails
// as a restore would for a list that names what the archive does not hold or must not restore.
Expected<QList<ItemListing>> listArchive(ZipArchive &Zip1, const OpenedBackup &state,
                                         const QString &scratchFolder);

} // namespace quillory
