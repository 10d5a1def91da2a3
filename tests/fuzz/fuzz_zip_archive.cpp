// A zip archive as a restore meets it: checked for a password, opened, listed, verified and
// extracted into a folder deep inside a scratch folder. Nothing may appear outside that folder.
#include "fuzzsupport.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"

#include <QDir>
#include <QFileInfo>

using namespace quillory;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static fuzz::Scratch scratch;
    const QString root = scratch.fresh();
    const QString archive = root + QStringLiteral("/b.wlm");
    fuzz::writeInput(archive, fuzz::inputBytes(data, size));
    // Deep enough that an entry climbing out with "../" still lands in the scratch folder.
    const QString all = root + QStringLiteral("/1/2/3/all");
    const QString one = root + QStringLiteral("/1/2/3/one");
    if (!QDir().mkpath(all) || !QDir().mkpath(one))
        fuzz::fail(QStringLiteral("cannot make the extraction folders"));

    (void)ZipArchive::IsProtected(archive);
    ZipArchive zip;
    // The seeds' protected archives use this password.
    zip.SetPassword(QStringLiteral("pw"));
    if (!zip.OpenArchive(archive)) {
        FUZZ_REQUIRE(!zip.OpenError().isEmpty(), QStringLiteral("a failed open gives no reason"));
        return 0;
    }
    (void)zip.VerifyEntries();
    (void)zip.ExtractAll(all);
    for (const QString &name : zip.entryNames())
        if (const Expected<ZipEntry> entry = zip.FindEntry(name))
            (void)entry->ExtractInto(one);
    zip.CloseArchive();

    for (const QString &path : scratch.contents()) {
        const bool inside = path == QStringLiteral("b.wlm") || path == QStringLiteral("1/") ||
                            path == QStringLiteral("1/2/") || path == QStringLiteral("1/2/3/") ||
                            path.startsWith(QStringLiteral("1/2/3/all/")) ||
                            path.startsWith(QStringLiteral("1/2/3/one/"));
        FUZZ_REQUIRE(inside, QStringLiteral("extraction wrote %1").arg(path));
        FUZZ_REQUIRE(!QFileInfo(root + QLatin1Char('/') + path).isSymLink(),
                     QStringLiteral("extraction made the symbolic link %1").arg(path));
    }
    return 0;
}
