#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

namespace quillory {

// A value as wineserver holds it: string types in UTF-16LE, everything else as stored.
struct WineRegistryValue {
    QString name;
    std::uint32_t type = 0;
    QByteArray data;

    friend bool operator==(const WineRegistryValue &, const WineRegistryValue &) = default;
};

// Wine's order of names: without regard to case.
struct RegistryNameOrder {
    using is_transparent = void;
    bool operator()(QStringView a, QStringView b) const;
};

// One key of a registry file. Subkeys and values are kept in Wine's order and found without
// regard to case; the first spelling of a name stays. Each is found and added in logarithmic
// time, so that a file lists its keys and values in whatever order at linear cost.
class WineRegistryKey {
public:
    using Subkeys = std::map<QString, std::unique_ptr<WineRegistryKey>, RegistryNameOrder>;
    using Values = std::map<QString, WineRegistryValue, RegistryNameOrder>;

    WineRegistryKey(QString name, WineRegistryKey *parent);
    ~WineRegistryKey();

    const QString &name() const { return m_name; }
    WineRegistryKey *parent() const { return m_parent; }
    // Components from the branch root down to this key.
    QStringList path() const;

    const Subkeys &subkeys() const { return m_subkeys; }
    WineRegistryKey *subkey(QStringView name) const;
    // The subkey of that name; created when missing, which `created` then tells.
    WineRegistryKey *ensureSubkey(const QString &name, bool &created);
    std::unique_ptr<WineRegistryKey> takeSubkey(const WineRegistryKey *subkey);

    const Values &values() const { return m_values; }
    const WineRegistryValue *value(QStringView name) const;
    // Returns whether the value differs from what the key held.
    bool setValue(const QString &name, std::uint32_t type, const QByteArray &data);

    // Last write as a FILETIME (100 ns since 1601).
    quint64 modified() const { return m_modified; }
    void setModified(quint64 filetime) { m_modified = filetime; }
    const std::optional<QString> &keyClass() const { return m_class; }
    void setKeyClass(const QString &keyClass) { m_class = keyClass; }
    bool isLink() const { return m_link; }
    void setLink() { m_link = true; }

    // Changed since the file was read: its section gets written anew.
    bool isChanged() const { return m_changed; }
    void setChanged() { m_changed = true; }
    bool isRemoved() const { return m_removed; }
    void setRemoved() { m_removed = true; }

private:
    QString m_name;
    WineRegistryKey *m_parent;
    Subkeys m_subkeys;
    Values m_values;
    quint64 m_modified = 0;
    std::optional<QString> m_class;
    bool m_link = false;
    bool m_changed = false;
    bool m_removed = false;
};

} // namespace quillory
