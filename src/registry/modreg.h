#pragma once

#include "platform/registrystore.h"
#include "platform/result.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace quillory {

class UserDialogs;

// Win32 status codes the key routines report.
namespace RegStatus {
constexpr long Success = 0;
constexpr long FileNotFound = 2;
constexpr long AccessDenied = 5;
constexpr long InvalidHandle = 6;
constexpr long MoreData = 234;
constexpr long NoMoreItems = 259;
} // namespace RegStatus

// No export of the mail client's key trees comes near this (rules, signatures and settings take
// kilobytes); a larger registry text file is refused unread. The registry of the prefix is held
// in memory, twice while it is saved, at about a kilobyte per key: a file of a million bytes of
// short key lines already costs a restore over a hundred megabytes.
constexpr qint64 maxRegistryTextSize = 1024 * 1024;

// The program's one gateway to the registry. Keys are named by textual paths such as
// HKEY_CURRENT_USER\Software\Microsoft\Windows Live Mail; a malformed path is reported with the
// "Incorrect Format:" message and then does nothing. Registry text files (the export of one key
// tree) are written and read here too.
class modReg {
public:
    modReg(RegistryStore &store, UserDialogs &dialogs);

    RegistryStore &store() const { return m_store; }

    // Leaves only the subkey part in `path`; `root` is 0 for a malformed path or unknown root.
    void SplitKeyPath(QString &path, std::uint32_t &root) const;
    static std::uint32_t RootKeyFromName(const QString &name);

    bool KeyExists(const QString &keyPath) const;
    // Creates the key and its missing parents and saves: AccessDenied when that cannot be
    // saved (Wine runs for the prefix), InvalidHandle for a path without a root.
    long CreateKey(const QString &keyPath);
    // The value's text, or "Error" when the key or value cannot be read.
    QString ReadStringValue(const QString &keyPath, const QString &valueName) const;
    QStringList ListSubkeys(const QString &keyPath) const;
    // Deletes a key without subkeys and saves: FileNotFound when it is missing, AccessDenied
    // when it has subkeys or the change cannot be saved.
    long DeleteKey(const QString &keyPath);
    // Deletes the key and everything below it, deepest first, saved as one change or not at all.
    void DeleteKeyTree(const QString &keyPath);

    // Writes the tree below keyPath to a registry text file (callers pass an empty relative
    // path; a non-empty one appends that subtree). Fails, with the reason and without writing,
    // when a name in the tree cannot be written on one line, or when the file cannot be written.
    Result ExportKeyTree(const QString &keyPath, const QString &relativePath,
                         const QString &filePath);
    // Replaces the tree below targetKeyPath with the file's contents, saved as one change.
    // The whole file is read and checked first: a file that cannot be converted, or one larger
    // than `maxRegistryTextSize`, changes nothing.
    Result ImportKeyFile(const QString &targetKeyPath, const QString &filePath);

private:
    struct Key {
        RegistryRoot root = RegistryRoot::None;
        QString path;
    };

    // The key a path names; nullopt (after the format message if it is malformed) when the
    // path has no known root.
    std::optional<Key> keyFor(const QString &keyPath) const;
    static QString subkeyPath(const QString &path, const QString &name);
    // Saves what a routine changed, or forgets it when the store cannot save.
    long saveChanges();
    // Deletes deepest first without saving, so that a caller can save once or discard all.
    Result deleteTree(const Key &key);
    Result appendTree(const Key &key, const QString &keyPath, const QString &relativePath,
                      QByteArray &text) const;
    Result appendValues(const Key &key, const QString &keyPath, QByteArray &text) const;

    RegistryStore &m_store;
    UserDialogs &m_dialogs;
};

} // namespace quillory
