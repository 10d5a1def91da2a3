#pragma once

#include "platform/registrystore.h"
#include "platform/result.h"

#include <QString>

#include <memory>

namespace quillory {

class WineRegistryFile;
class WineRegistryKey;

// The registry of a Wine prefix: HKEY_CURRENT_USER is the prefix's user.reg and
// HKEY_LOCAL_MACHINE its system.reg. Other roots open no keys. A file is read when its root is
// first used, and read again when it has changed on disk and no changes of ours wait for it; a
// file that does not parse opens no keys and is never written over. A file that does not
// exist yet is an empty branch, written with wineserver's header lines once a change is saved.
// Nothing is changed while a wineserver runs for the prefix: it would overwrite the files from
// its own memory. The first change after a save or discard looks for one, and so does the save.
class WineRegistryStore final : public RegistryStore {
public:
    explicit WineRegistryStore(QString prefixPath);
    ~WineRegistryStore() override;

    const QString &prefixPath() const { return m_prefix; }

    bool keyExists(RegistryRoot root, const QString &path) const override;
    Result createKey(RegistryRoot root, const QString &path) override;
    QStringList subkeys(RegistryRoot root, const QString &path) const override;
    std::optional<QList<RegistryValue>> values(RegistryRoot root,
                                               const QString &path) const override;
    std::optional<RegistryValue> value(RegistryRoot root, const QString &path,
                                       const QString &name) const override;
    Result setValue(RegistryRoot root, const QString &path, const RegistryValue &value) override;
    Result deleteKey(RegistryRoot root, const QString &path) override;
    Result checkWritable(RegistryRoot root) const override;
    Result save() override;
    void discard() override;

private:
    struct Branch;
    Branch *branch(RegistryRoot root) const;
    const WineRegistryKey *findKey(RegistryRoot root, const QString &path) const;
    Result saveBranch(Branch &branch);
    // The file of `root`, once it may be changed. The branch may be read anew by any look at it
    // (the file changed on disk), so a change uses the file this returns and nothing else.
    Expected<WineRegistryFile *> changeableFile(RegistryRoot root);

    QString m_prefix;
    mutable std::unique_ptr<Branch> m_user;
    mutable std::unique_ptr<Branch> m_machine;
};

} // namespace quillory
