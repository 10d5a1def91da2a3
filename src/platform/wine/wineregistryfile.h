#pragma once

#include "platform/result.h"
#include "platform/wine/wineregistrykey.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace quillory {

// One registry file of a Wine prefix (user.reg, system.reg) in memory. The file's sections (a
// key's header line and the lines up to the next one) are kept as read: when the file is
// written again, unchanged keys come out byte for byte, changed and new keys in wineserver's
// own form, where wineserver's order puts them.
class WineRegistryFile {
public:
    // Reads as leniently as wineserver does; fails, saying why, where wineserver would reject
    // the whole file.
    static Expected<WineRegistryFile> parse(const QByteArray &text);
    // A file that does not exist yet: the lines wineserver begins a file with. `branchRoot` is
    // the path in its comment line as written there, `arch` "win32" or "win64".
    static WineRegistryFile create(const QByteArray &branchRoot, const QByteArray &arch);

    WineRegistryFile(WineRegistryFile &&) noexcept;
    WineRegistryFile &operator=(WineRegistryFile &&) noexcept;
    ~WineRegistryFile();

    const WineRegistryKey &root() const { return *m_root; }
    WineRegistryKey *key(const QStringList &path) const;

    // Changes, touching the key times wineserver would touch.
    WineRegistryKey &createKey(const QStringList &path);
    void setValue(WineRegistryKey &key, const QString &name, std::uint32_t type,
                  const QByteArray &data);
    // Only for a key that has no subkeys and is not the root.
    void deleteKey(WineRegistryKey &key);

    bool isChanged() const { return m_changed; }
    QByteArray text() const;

    // A key's section in wineserver's form, beginning with the blank line before it.
    static QByteArray sectionText(const WineRegistryKey &key);

private:
    WineRegistryFile();
    void touch(WineRegistryKey &key);

    struct Section {
        QByteArray text;
        WineRegistryKey *key; // none when wineserver could not read the header
    };

    QByteArray m_original;
    QByteArray m_preamble; // the lines before the first section
    std::vector<Section> m_sections;
    std::unique_ptr<WineRegistryKey> m_root;
    // Deleted keys stay alive while sections still point at them.
    std::vector<std::unique_ptr<WineRegistryKey>> m_removed;
    bool m_changed = false;
};

} // namespace quillory
