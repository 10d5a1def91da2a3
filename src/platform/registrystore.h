#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace quillory {

// Predefined root keys, with the handle values the Win32 registry gives them.
enum class RegistryRoot : std::uint32_t {
    None = 0,
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
    PerformanceData = 0x80000004u,
    CurrentConfig = 0x80000005u,
    DynData = 0x80000006u,
};

namespace RegType {
constexpr std::uint32_t None = 0;
constexpr std::uint32_t Sz = 1;
constexpr std::uint32_t ExpandSz = 2;
constexpr std::uint32_t Binary = 3;
constexpr std::uint32_t Dword = 4;
constexpr std::uint32_t DwordBigEndian = 5;
constexpr std::uint32_t Link = 6;
constexpr std::uint32_t MultiSz = 7;
constexpr std::uint32_t Qword = 11;
} // namespace RegType

// How many levels below its root a key may lie: Windows allows no deeper keys, so a deeper one
// in a file can only be damage or an attack, and refusing it keeps every walk over a key tree
// shallow.
constexpr int maxKeyDepth = 512;

// One value as the ANSI registry calls present it: string types (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) as UTF-8 bytes with their terminating zero, REG_DWORD as four little-endian
// bytes, everything else as stored.
struct RegistryValue {
    QString name;
    std::uint32_t type = RegType::None;
    QByteArray data;

    friend bool operator==(const RegistryValue &, const RegistryValue &) = default;
};

// The registry behind the key routines. Key paths are relative to the root, components
// separated by a single backslash; the empty path is the root key itself. Names compare
// without regard to case. Changes stay in memory until save(), so that one operation (a
// whole import, say) reaches the disk as one consistent write.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    virtual bool keyExists(RegistryRoot root, const QString &path) const = 0;
    // Creates the key and any missing parents; succeeds for a key that already exists.
    virtual Result createKey(RegistryRoot root, const QString &path) = 0;
    // Direct subkeys in the registry's enumeration order; empty when the key cannot be opened.
    virtual QStringList subkeys(RegistryRoot root, const QString &path) const = 0;
    // Values in the registry's enumeration order; nullopt when the key cannot be opened.
    virtual std::optional<QList<RegistryValue>> values(RegistryRoot root,
                                                       const QString &path) const = 0;
    virtual std::optional<RegistryValue> value(RegistryRoot root, const QString &path,
                                               const QString &name) const = 0;
    // Sets a value on an existing key, replacing a value of the same name (whose spelling stays).
    virtual Result setValue(RegistryRoot root, const QString &path, const RegistryValue &value) = 0;
    // Deletes a key that has no subkeys. The root key itself cannot be deleted.
    virtual Result deleteKey(RegistryRoot root, const QString &path) = 0;
    // Whether writes to that root can be made and saved now (the files parse, no Wine
    // server holds the prefix); the failure says why.
    virtual Result checkWritable(RegistryRoot root) const = 0;
    // Writes every changed branch to disk.
    virtual Result save() = 0;
    // Forgets unsaved changes.
    virtual void discard() = 0;
};

} // namespace quillory
