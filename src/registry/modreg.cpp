#include "registry/modreg.h"

#include "platform/userdialogs.h"

#include <vector>

namespace quillory {

namespace {

struct RootName {
    QLatin1String name;
    RegistryRoot root;
};

const RootName rootNames[] = {
    {QLatin1String("HKEY_CLASSES_ROOT"), RegistryRoot::ClassesRoot},
    {QLatin1String("HKEY_CURRENT_USER"), RegistryRoot::CurrentUser},
    {QLatin1String("HKEY_LOCAL_MACHINE"), RegistryRoot::LocalMachine},
    {QLatin1String("HKEY_USERS"), RegistryRoot::Users},
    {QLatin1String("HKEY_PERFORMANCE_DATA"), RegistryRoot::PerformanceData},
    {QLatin1String("HKEY_CURRENT_CONFIG"), RegistryRoot::CurrentConfig},
    {QLatin1String("HKEY_DYN_DATA"), RegistryRoot::DynData},
};

// The ANSI query reads into a buffer of this many bytes; a longer value counts as unreadable.
constexpr qsizetype readBufferSize = 255;

} // namespace

modReg::modReg(RegistryStore &store, UserDialogs &dialogs) : m_store(store), m_dialogs(dialogs) {}

void modReg::SplitKeyPath(QString &path, std::uint32_t &root) const
{
    if (!path.startsWith(QLatin1String("HKEY_")) || path.endsWith(QLatin1Char('\\'))) {
        m_dialogs.message(QStringLiteral("Incorrect Format:\n\n") + path, applicationTitle(),
                          MessageIcon::None, MessageButtons::Ok);
        root = 0;
        return;
    }
    const qsizetype separator = path.indexOf(QLatin1Char('\\'));
    if (separator < 0) {
        root = RootKeyFromName(path);
        path.clear();
    } else {
        root = RootKeyFromName(path.left(separator));
        path = path.mid(separator + 1);
    }
}

std::uint32_t modReg::RootKeyFromName(const QString &name)
{
    for (const RootName &entry : rootNames) {
        if (name == entry.name)
            return static_cast<std::uint32_t>(entry.root);
    }
    return 0;
}

std::optional<modReg::Key> modReg::keyFor(const QString &keyPath) const
{
    Key key;
    key.path = keyPath;
    std::uint32_t root = 0;
    SplitKeyPath(key.path, root);
    if (root == 0)
        return std::nullopt;
    key.root = static_cast<RegistryRoot>(root);
    return key;
}

QString modReg::subkeyPath(const QString &path, const QString &name)
{
    return path.isEmpty() ? name : path + QLatin1Char('\\') + name;
}

long modReg::saveChanges()
{
    if (m_store.save())
        return RegStatus::Success;
    m_store.discard();
    return RegStatus::AccessDenied;
}

bool modReg::KeyExists(const QString &keyPath) const
{
    const std::optional<Key> key = keyFor(keyPath);
    return key && m_store.keyExists(key->root, key->path);
}

long modReg::CreateKey(const QString &keyPath)
{
    const std::optional<Key> key = keyFor(keyPath);
    if (!key)
        return RegStatus::InvalidHandle;
    // Opening an existing key writes nothing, so it succeeds even while the files are locked.
    if (m_store.keyExists(key->root, key->path))
        return RegStatus::Success;
    if (!m_store.checkWritable(key->root))
        return RegStatus::AccessDenied;
    if (!m_store.createKey(key->root, key->path)) {
        m_store.discard();
        return RegStatus::AccessDenied;
    }
    return saveChanges();
}

QString modReg::ReadStringValue(const QString &keyPath, const QString &valueName) const
{
    static const QString error = QStringLiteral("Error");
    const std::optional<Key> key = keyFor(keyPath);
    if (!key)
        return QString();
    const std::optional<RegistryValue> value = m_store.value(key->root, key->path, valueName);
    if (!value || value->data.size() > readBufferSize)
        return error;
    // Other types hold no text; their bytes read as text would be garbage.
    if (value->type != RegType::Sz && value->type != RegType::ExpandSz)
        return error;
    QByteArray bytes = value->data;
    if (bytes.endsWith('\0'))
        bytes.chop(1);
    QString text = QString::fromUtf8(bytes);
    qsizetype spaces = 0;
    while (spaces < text.size() && text.at(spaces) == QLatin1Char(' '))
        ++spaces;
    return text.mid(spaces);
}

QStringList modReg::ListSubkeys(const QString &keyPath) const
{
    const std::optional<Key> key = keyFor(keyPath);
    if (!key)
        return {};
    return m_store.subkeys(key->root, key->path);
}

long modReg::DeleteKey(const QString &keyPath)
{
    const std::optional<Key> key = keyFor(keyPath);
    if (!key)
        return RegStatus::InvalidHandle;
    if (key->path.isEmpty())
        return RegStatus::AccessDenied;
    if (!m_store.keyExists(key->root, key->path))
        return RegStatus::FileNotFound;
    if (!m_store.subkeys(key->root, key->path).isEmpty() || !m_store.checkWritable(key->root))
        return RegStatus::AccessDenied;
    if (!m_store.deleteKey(key->root, key->path)) {
        m_store.discard();
        return RegStatus::AccessDenied;
    }
    return saveChanges();
}

void modReg::DeleteKeyTree(const QString &keyPath)
{
    const std::optional<Key> key = keyFor(keyPath);
    if (!key || !m_store.keyExists(key->root, key->path) || !m_store.checkWritable(key->root))
        return;
    if (deleteTree(*key))
        saveChanges();
    else
        m_store.discard();
}

// Deepest first, children in the order the store lists them, from a stack of the keys whose
// subkeys are being deleted rather than by recursion.
Result modReg::deleteTree(const Key &key)
{
    struct Frame {
        QString path;
        QStringList subkeys;
        qsizetype next = 0;
    };
    std::vector<Frame> frames;
    frames.push_back({key.path, m_store.subkeys(key.root, key.path)});
    while (!frames.empty()) {
        Frame &frame = frames.back();
        if (frame.next < frame.subkeys.size()) {
            const QString path = subkeyPath(frame.path, frame.subkeys.at(frame.next++));
            frames.push_back({path, m_store.subkeys(key.root, path)});
            continue;
        }
        const QString path = frame.path;
        frames.pop_back();
        // The root key itself cannot be deleted; emptying it is all there is to do.
        if (path.isEmpty() || !m_store.keyExists(key.root, path))
            continue;
        if (const Result deleted = m_store.deleteKey(key.root, path); !deleted)
            return deleted;
    }
    return Result::success();
}

} // namespace quillory
