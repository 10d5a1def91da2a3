#include "platform/wine/wineregistrykey.h"

#include "platform/wine/wineregistrytext.h"

#include <QStringList>

#include <vector>

namespace quillory {

bool RegistryNameOrder::operator()(QStringView a, QStringView b) const
{
    return compareRegistryNames(a, b) < 0;
}

WineRegistryKey::WineRegistryKey(QString name, WineRegistryKey *parent)
    : m_name(std::move(name)), m_parent(parent)
{
}

// Takes the tree apart key by key: nested destructors would recurse once per level.
WineRegistryKey::~WineRegistryKey()
{
    std::vector<std::unique_ptr<WineRegistryKey>> pending;
    const auto takeSubkeys = [&pending](Subkeys &subkeys) {
        for (auto &[name, subkey] : subkeys)
            pending.push_back(std::move(subkey));
        subkeys.clear();
    };
    takeSubkeys(m_subkeys);
    while (!pending.empty()) {
        std::unique_ptr<WineRegistryKey> key = std::move(pending.back());
        pending.pop_back();
        takeSubkeys(key->m_subkeys);
    }
}

QStringList WineRegistryKey::path() const
{
    QStringList components;
    for (const WineRegistryKey *key = this; key->m_parent; key = key->m_parent)
        components.prepend(key->m_name);
    return components;
}

WineRegistryKey *WineRegistryKey::subkey(QStringView name) const
{
    const auto it = m_subkeys.find(name);
    return it != m_subkeys.end() ? it->second.get() : nullptr;
}

WineRegistryKey *WineRegistryKey::ensureSubkey(const QString &name, bool &created)
{
    auto it = m_subkeys.lower_bound(name);
    created = it == m_subkeys.end() || compareRegistryNames(it->first, name) != 0;
    if (created)
        it = m_subkeys.emplace_hint(it, name, std::make_unique<WineRegistryKey>(name, this));
    return it->second.get();
}

std::unique_ptr<WineRegistryKey> WineRegistryKey::takeSubkey(const WineRegistryKey *subkey)
{
    const auto it = m_subkeys.find(subkey->name());
    if (it == m_subkeys.end() || it->second.get() != subkey)
        return nullptr;
    std::unique_ptr<WineRegistryKey> taken = std::move(it->second);
    m_subkeys.erase(it);
    return taken;
}

const WineRegistryValue *WineRegistryKey::value(QStringView name) const
{
    const auto it = m_values.find(name);
    return it != m_values.end() ? &it->second : nullptr;
}

bool WineRegistryKey::setValue(const QString &name, std::uint32_t type, const QByteArray &data)
{
    auto it = m_values.lower_bound(name);
    if (it == m_values.end() || compareRegistryNames(it->first, name) != 0) {
        m_values.emplace_hint(it, name, WineRegistryValue{name, type, data});
        return true;
    }
    if (it->second.type == type && it->second.data == data)
        return false;
    it->second.type = type;
    it->second.data = data;
    return true;
}

} // namespace quillory
