#include "platform/wine/wineregistrykey.h"

#include "platform/wine/wineregistrytext.h"

#include <QStringList>

#include <algorithm>

namespace quillory {

namespace {

template <typename Container, typename NameOf>
auto lowerBound(Container &items, QStringView name, NameOf nameOf)
{
    return std::lower_bound(items.begin(), items.end(), name, [&](const auto &item, QStringView n) {
        return compareRegistryNames(nameOf(item), n) < 0;
    });
}

const QString &keyName(const std::unique_ptr<WineRegistryKey> &key)
{
    return key->name();
}

const QString &valueName(const WineRegistryValue &value)
{
    return value.name;
}

} // namespace

WineRegistryKey::WineRegistryKey(QString name, WineRegistryKey *parent)
    : m_name(std::move(name)), m_parent(parent)
{
}

// Takes the tree apart key by key: nested destructors would recurse once per level.
WineRegistryKey::~WineRegistryKey()
{
    std::vector<std::unique_ptr<WineRegistryKey>> pending = std::move(m_subkeys);
    while (!pending.empty()) {
        std::unique_ptr<WineRegistryKey> key = std::move(pending.back());
        pending.pop_back();
        for (std::unique_ptr<WineRegistryKey> &subkey : key->m_subkeys)
            pending.push_back(std::move(subkey));
        key->m_subkeys.clear();
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
    const auto it = lowerBound(m_subkeys, name, keyName);
    return it != m_subkeys.end() && compareRegistryNames((*it)->name(), name) == 0 ? it->get()
                                                                                   : nullptr;
}

WineRegistryKey *WineRegistryKey::ensureSubkey(const QString &name, bool &created)
{
    const auto it = lowerBound(m_subkeys, name, keyName);
    created = it == m_subkeys.end() || compareRegistryNames((*it)->name(), name) != 0;
    if (!created)
        return it->get();
    return m_subkeys.insert(it, std::make_unique<WineRegistryKey>(name, this))->get();
}

std::unique_ptr<WineRegistryKey> WineRegistryKey::takeSubkey(const WineRegistryKey *subkey)
{
    const auto it = std::find_if(m_subkeys.begin(), m_subkeys.end(),
                                 [subkey](const auto &key) { return key.get() == subkey; });
    if (it == m_subkeys.end())
        return nullptr;
    std::unique_ptr<WineRegistryKey> taken = std::move(*it);
    m_subkeys.erase(it);
    return taken;
}

const WineRegistryValue *WineRegistryKey::value(QStringView name) const
{
    const auto it = lowerBound(m_values, name, valueName);
    return it != m_values.end() && compareRegistryNames(it->name, name) == 0 ? &*it : nullptr;
}

bool WineRegistryKey::setValue(const QString &name, std::uint32_t type, const QByteArray &data)
{
    const auto it = lowerBound(m_values, name, valueName);
    if (it == m_values.end() || compareRegistryNames(it->name, name) != 0) {
        m_values.insert(it, WineRegistryValue{name, type, data});
        return true;
    }
    if (it->type == type && it->data == data)
        return false;
    it->type = type;
    it->data = data;
    return true;
}

} // namespace quillory
