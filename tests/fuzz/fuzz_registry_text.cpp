// The registry text file, as a restore takes it from an archive: imported with ImportKeyFile
// into a scratch prefix. What was imported must export and import again to the same file.
#include "fuzzsupport.h"
#include "platform/headlessdialogs.h"
#include "platform/wine/wineregistrystore.h"
#include "registry/modreg.h"

#include <QFile>

#include <cstdio>

using namespace quillory;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static fuzz::Scratch scratch;
    static std::FILE *nowhere = std::fopen("/dev/null", "w");
    const QString prefix = scratch.fresh();
    const QString input = prefix + QStringLiteral("/rules.txt");
    fuzz::writeInput(input, fuzz::inputBytes(data, size));

    WineRegistryStore store(prefix);
    HeadlessDialogs dialogs(nowhere);
    modReg reg(store, dialogs);
    const QString rules =
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows Live Mail\\Rules");
    if (!reg.ImportKeyFile(rules, input))
        return 0;

    // A name that cannot stand on one line is refused by the export, as it should be.
    const QString exported = prefix + QStringLiteral("/exported.txt");
    if (!reg.ExportKeyTree(rules, QString(), exported))
        return 0;
    const QString copy = QStringLiteral("HKEY_CURRENT_USER\\Software\\Quillory Copy");
    const Result reimported = reg.ImportKeyFile(copy, exported);
    FUZZ_REQUIRE(reimported,
                 QStringLiteral("our own export does not import: %1").arg(reimported.message()));
    const QString again = prefix + QStringLiteral("/again.txt");
    FUZZ_REQUIRE(reg.ExportKeyTree(copy, QString(), again),
                 QStringLiteral("the imported export does not export"));
    FUZZ_REQUIRE(readAll(again) == readAll(exported),
                 QStringLiteral("export, import and export give another file"));
    return 0;
}
