#include "platform/wine/wineregistrystore.h"

#include "platform/filereplacement.h"
#include "platform/wine/wineregistryfile.h"
#include "platform/wine/wineregistrykey.h"
#include "platform/wine/wineregistrytext.h"
#include "platform/wine/wineserverprobe.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace quillory {

namespace {

// Limits the registry sets for names; a longer key name would not load in Wine.
constexpr qsizetype maxKeyNameLength = 255;
constexpr qsizetype maxValueNameLength = 16383;

// What tells that a file was replaced or rewritten since it was read.
struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

FileStamp stampOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true,
            quint64(st.st_dev),
            quint64(st.st_ino),
            qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

bool isStringType(std::uint32_t type)
{
    return type == RegType::Sz || type == RegType::ExpandSz || type == RegType::MultiSz;
}

// The ANSI registry calls convert string data between UTF-16 and the locale's code page, here
// UTF-8, terminating zero and all.
RegistryValue presented(const WineRegistryValue &value)
{
    return {value.name, value.type,
            isStringType(value.type) ? fromUtf16LittleEndian(value.data).toUtf8() : value.data};
}

QByteArray stored(const RegistryValue &value)
{
    if (!isStringType(value.type))
        return value.data;
    return toUtf16LittleEndian(QString::fromUtf8(value.data.constData(), value.data.size()));
}

QStringList keyComponents(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QString fullKeyName(RegistryRoot root, const QString &path)
{
    const QString rootName = root == RegistryRoot::CurrentUser
                                 ? QStringLiteral("HKEY_CURRENT_USER")
                                 : QStringLiteral("HKEY_LOCAL_MACHINE");
    return path.isEmpty() ? rootName : rootName + QLatin1Char('\\') + path;
}

// A new file must name the prefix's architecture, or Wine rejects it.
QByteArray architectureOf(const QString &prefix)
{
    for (const QString &name : {QStringLiteral("system.reg"), QStringLiteral("user.reg")}) {
        QFile file(prefix + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (int line = 0; line < 8 && !file.atEnd(); ++line) {
            const QByteArray text = file.readLine().trimmed();
            if (text == "#arch=win32" || text == "#arch=win64")
                return text.mid(6);
        }
    }
    return "win64";
}

// Compares pair by pair from a work list rather than by recursion, however deep the trees go.
bool sameKeys(const WineRegistryKey &first, const WineRegistryKey &second)
{
    std::vector<std::pair<const WineRegistryKey *, const WineRegistryKey *>> pending{
        {&first, &second}};
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        if (a->name() != b->name() || a->values() != b->values() ||
            a->keyClass() != b->keyClass() || a->isLink() != b->isLink() ||
            a->subkeys().size() != b->subkeys().size())
            return false;
        for (auto x = a->subkeys().cbegin(), y = b->subkeys().cbegin(); x != a->subkeys().cend();
             ++x, ++y)
            pending.emplace_back(x->second.get(), y->second.get());
    }
    return true;
}

} // namespace

struct WineRegistryStore::Branch {
    QString filePath;
    std::optional<WineRegistryFile> file; // none when the file cannot be used
    QString problem;                      // why it cannot
    bool existed = false;
    QByteArray onDisk;
    FileStamp stamp;
    // The changes under way passed the wineserver check: the next save checks again.
    bool serverChecked = false;
};

WineRegistryStore::WineRegistryStore(QString prefixPath) : m_prefix(std::move(prefixPath)) {}

WineRegistryStore::~WineRegistryStore() = default;

WineRegistryStore::Branch *WineRegistryStore::branch(RegistryRoot root) const
{
    const bool user = root == RegistryRoot::CurrentUser;
    if (!user && root != RegistryRoot::LocalMachine)
        return nullptr;
    std::unique_ptr<Branch> &slot = user ? m_user : m_machine;
    const QString path =
        m_prefix + (user ? QStringLiteral("/user.reg") : QStringLiteral("/system.reg"));

    // Wine may have written the file since it was read; read it again unless changes of ours
    // wait for it (saving them then refuses).
    if (slot && !(slot->file && slot->file->isChanged()) && slot->stamp != stampOf(path))
        slot.reset();
    if (slot)
        return slot.get();

    slot = std::make_unique<Branch>();
    slot->filePath = path;
    slot->stamp = stampOf(path);
    if (!slot->stamp.exists) {
        slot->file = WineRegistryFile::create(user ? "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000"
                                                   : "REGISTRY\\\\Machine",
                                              architectureOf(m_prefix));
        return slot.get();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        slot->problem = QStringLiteral("%1 cannot be read (%2), so it is left as it is")
                            .arg(path, file.errorString());
        return slot.get();
    }
    slot->existed = true;
    slot->onDisk = file.readAll();
    Expected<WineRegistryFile> parsed = WineRegistryFile::parse(slot->onDisk);
    if (parsed)
        slot->file = std::move(parsed.value());
    else
        slot->problem =
            QStringLiteral("%1 cannot be used as a registry file (%2), so it is left as it is")
                .arg(path, parsed.message());
    return slot.get();
}

const WineRegistryKey *WineRegistryStore::findKey(RegistryRoot root, const QString &path) const
{
    const Branch *b = branch(root);
    return b && b->file ? b->file->key(keyComponents(path)) : nullptr;
}

bool WineRegistryStore::keyExists(RegistryRoot root, const QString &path) const
{
    return findKey(root, path) != nullptr;
}

QStringList WineRegistryStore::subkeys(RegistryRoot root, const QString &path) const
{
    QStringList names;
    if (const WineRegistryKey *key = findKey(root, path))
        for (const auto &[name, subkey] : key->subkeys())
            names.append(subkey->name());
    return names;
}

std::optional<QList<RegistryValue>> WineRegistryStore::values(RegistryRoot root,
                                                              const QString &path) const
{
    const WineRegistryKey *key = findKey(root, path);
    if (!key)
        return std::nullopt;
    QList<RegistryValue> values;
    for (const auto &[name, value] : key->values())
        values.append(presented(value));
    return values;
}

std::optional<RegistryValue> WineRegistryStore::value(RegistryRoot root, const QString &path,
                                                      const QString &name) const
{
    const WineRegistryKey *key = findKey(root, path);
    const WineRegistryValue *value = key ? key->value(name) : nullptr;
    return value ? std::optional(presented(*value)) : std::nullopt;
}

Result WineRegistryStore::checkWritable(RegistryRoot root) const
{
    const Branch *b = branch(root);
    if (!b)
        return Result::failure(QStringLiteral(
            "Only HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE can be changed in a Wine prefix"));
    if (!b->file)
        return Result::failure(b->problem);
    if (::access(QFile::encodeName(m_prefix).constData(), W_OK | X_OK) != 0)
        return Result::failure(QStringLiteral("The Wine prefix %1 cannot be written to: %2")
                                   .arg(m_prefix, qt_error_string(errno)));
    if (const std::optional<qint64> pid = runningWineserver(m_prefix))
        return Result::failure(
            QStringLiteral("The registry of the Wine prefix %1 cannot be changed while Wine runs "
                           "for it (wineserver, process %2): close the mail client and Wine")
                .arg(m_prefix)
                .arg(*pid));
    return Result::success();
}

// Looking for a wineserver reads every process's details, far too slow to repeat for each of
// the thousands of values an import sets: the first change of an operation looks, and the save
// that ends it looks again, so that the files are still never written while Wine runs.
Expected<WineRegistryFile *> WineRegistryStore::changeableFile(RegistryRoot root)
{
    if (Branch *b = branch(root); b && b->file && b->serverChecked)
        return &*b->file;
    if (Result writable = checkWritable(root); !writable)
        return writable;
    // Read again if it changed on disk since the check looked: what is changed is what now parses.
    Branch *b = branch(root);
    if (!b->file)
        return Result::failure(b->problem);
    b->serverChecked = true;
    return &*b->file;
}

Result WineRegistryStore::createKey(RegistryRoot root, const QString &path)
{
    const Expected<WineRegistryFile *> file = changeableFile(root);
    if (!file)
        return file.result();
    const QStringList components = keyComponents(path);
    if (components.size() > maxKeyDepth)
        return Result::failure(
            QStringLiteral(
                "A key %1 levels below %2 is deeper than the registry allows (%3 levels)")
                .arg(components.size())
                .arg(fullKeyName(root, QString()))
                .arg(maxKeyDepth));
    for (const QString &name : components)
        if (name.size() > maxKeyNameLength)
            return Result::failure(
                QStringLiteral("The key name \"%1\" is longer than the registry allows").arg(name));
    (*file)->createKey(components);
    return Result::success();
}

Result WineRegistryStore::setValue(RegistryRoot root, const QString &path,
                                   const RegistryValue &value)
{
    const Expected<WineRegistryFile *> changeable = changeableFile(root);
    if (!changeable)
        return changeable.result();
    WineRegistryFile &file = **changeable;
    WineRegistryKey *key = file.key(keyComponents(path));
    if (!key)
        return Result::failure(
            QStringLiteral("The key %1 does not exist").arg(fullKeyName(root, path)));
    if (value.name.size() > maxValueNameLength)
        return Result::failure(
            QStringLiteral("The value name \"%1\" is longer than the registry allows")
                .arg(value.name));
    file.setValue(*key, value.name, value.type, stored(value));
    return Result::success();
}

Result WineRegistryStore::deleteKey(RegistryRoot root, const QString &path)
{
    const Expected<WineRegistryFile *> changeable = changeableFile(root);
    if (!changeable)
        return changeable.result();
    WineRegistryFile &file = **changeable;
    const QStringList components = keyComponents(path);
    if (components.isEmpty())
        return Result::failure(
            QStringLiteral("The root key %1 cannot be deleted").arg(fullKeyName(root, QString())));
    WineRegistryKey *key = file.key(components);
    if (!key)
        return Result::failure(
            QStringLiteral("The key %1 does not exist").arg(fullKeyName(root, path)));
    if (!key->subkeys().empty())
        return Result::failure(QStringLiteral("The key %1 has subkeys and cannot be deleted")
                                   .arg(fullKeyName(root, path)));
    file.deleteKey(*key);
    return Result::success();
}

Result WineRegistryStore::save()
{
    for (const RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
        const std::unique_ptr<Branch> &b = root == RegistryRoot::CurrentUser ? m_user : m_machine;
        if (!b)
            continue;
        b->serverChecked = false;
        if (!b->file || !b->file->isChanged())
            continue;
        if (Result writable = checkWritable(root); !writable)
            return writable;
        if (Result saved = saveBranch(*b); !saved)
            return saved;
    }
    return Result::success();
}

Result WineRegistryStore::saveBranch(Branch &b)
{
    const FileStamp now = stampOf(b.filePath);
    QFile current(b.filePath);
    const bool untouched =
        now.exists == b.existed &&
        (!now.exists || (current.open(QIODevice::ReadOnly) && current.readAll() == b.onDisk));
    if (!untouched)
        return Result::failure(
            QStringLiteral("%1 was changed by another program after it was read, so the "
                           "registry changes were not written")
                .arg(b.filePath));

    // What is written must read back as the keys in memory, or it is not written at all.
    const QByteArray text = b.file->text();
    Expected<WineRegistryFile> reread = WineRegistryFile::parse(text);
    if (!reread || !sameKeys(reread->root(), b.file->root()))
        return Result::failure(
            QStringLiteral("The new %1 would not read back as intended, so it was not written")
                .arg(b.filePath));
    if (Result written = replaceFileContents(b.filePath, text); !written)
        return written;
    b.file = std::move(reread.value());
    b.existed = true;
    b.onDisk = text;
    b.stamp = stampOf(b.filePath);
    return Result::success();
}

void WineRegistryStore::discard()
{
    m_user.reset();
    m_machine.reset();
}

} // namespace quillory
