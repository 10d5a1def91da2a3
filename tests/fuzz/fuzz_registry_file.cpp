// The Wine registry file: a user.reg in a scratch prefix, opened by the store, changed and saved
// back. Whatever the store read must survive its own save.
#include "fuzzsupport.h"
#include "platform/wine/wineregistrystore.h"

#include <QDir>

#include <utility>

using namespace quillory;

namespace {

// Far deeper than any key the mail client writes; the walk stops there so that an input with a
// very deep key costs time in the store, not in this dump.
constexpr int walkDepth = 600;

QStringList dump(const WineRegistryStore &store)
{
    QStringList lines;
    QList<std::pair<QString, int>> pending{{QString(), 0}};
    while (!pending.isEmpty()) {
        const auto [path, depth] = pending.takeLast();
        lines.append(path);
        for (const RegistryValue &value :
             store.values(RegistryRoot::CurrentUser, path).value_or(QList<RegistryValue>()))
            lines.append(QStringLiteral("%1 \"%2\" %3 %4")
                             .arg(path, value.name)
                             .arg(value.type)
                             .arg(QString::fromLatin1(value.data.toHex())));
        if (depth < walkDepth)
            for (const QString &name : store.subkeys(RegistryRoot::CurrentUser, path))
                pending.append(
                    {path.isEmpty() ? name : path + QLatin1Char('\\') + name, depth + 1});
    }
    // The order of keys and values is the file's, and a save sorts them.
    lines.sort();
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static fuzz::Scratch scratch;
    const QString prefix = scratch.fresh();
    fuzz::writeInput(prefix + QStringLiteral("/user.reg"), fuzz::inputBytes(data, size));

    const RegistryValue added{QStringLiteral("Quillory Fuzz"), RegType::Dword,
                              QByteArray("\x01\x00\x00\x00", 4)};
    QStringList held;
    {
        WineRegistryStore store(prefix);
        if (!store.checkWritable(RegistryRoot::CurrentUser) ||
            !store.setValue(RegistryRoot::CurrentUser, QString(), added))
            return 0;
        held = dump(store);
        if (const Result saved = store.save(); !saved)
            fuzz::fail(QStringLiteral("a store that took a change cannot save it: %1")
                           .arg(saved.message()));
    }
    const QStringList reread = dump(WineRegistryStore(prefix));
    FUZZ_REQUIRE(reread == held, QStringLiteral("the saved file reads back differently"));
    return 0;
}
