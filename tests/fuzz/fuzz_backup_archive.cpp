// Opening a backup archive: the input is its information file "krvstore.dat", packed with the
// entries of a real backup into an archive that the restore side opens; then every item the
// file says the archive holds has its list of entries checked, as a restore run does.
#include "app/stagingfolder.h"
#include "fuzzsupport.h"
#include "platform/zip/ziparchive.h"
#include "restore/itementries.h"
#include "restore/openedbackup.h"

#include <QDir>

using namespace quillory;

namespace {

// The entries of a backup that brevnor-cli made of a sample profile; the seed is its
// information file.
const QStringList backupEntries{
    QStringLiteral("Work.zip"),
    QStringLiteral("OBR82F9.tmp"),
    QStringLiteral("account{03EB653A-CCFB-5FB2-0A94-F4E57E47669E}.oeaccount"),
    QStringLiteral("account{B305A65B-B50C-8223-9BD4-46862B5DA75F}.oeaccount"),
    QStringLiteral("OBRB4D0.tmp"),
    QStringLiteral("OBRF50.tmp"),
    QStringLiteral("Bob Example.contact"),
    QStringLiteral("Family.group"),
    QStringLiteral("Jörg Müller.contact"),
    QStringLiteral("Team.GROUP"),
    QStringLiteral("Mail.MSMessageStore"),
    QStringLiteral("WindowsMail.MSMessageStore"),
    QStringLiteral("OBRF97C.tmp"),
    QStringLiteral("Grüße.htm"),
    QStringLiteral("Leaves.htm"),
    QStringLiteral("Leaves.jpg"),
    QStringLiteral("OBS6E08.tmp"),
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static fuzz::Scratch scratch;
    const QString root = scratch.fresh();
    const QString archive = root + QStringLiteral("/b.wlm");
    {
        ZipArchive zip;
        zip.setDurable(false);
        FUZZ_REQUIRE(zip.CreateArchive(archive), QStringLiteral("cannot start the archive"));
        if (!QDir().mkpath(root + QStringLiteral("/entries")))
            fuzz::fail(QStringLiteral("cannot make the entries folder"));
        for (const QString &name : backupEntries)
            fuzz::writeInput(root + QStringLiteral("/entries/") + name, {});
        fuzz::writeInput(root + QStringLiteral("/entries/krvstore.dat"),
                         fuzz::inputBytes(data, size));
        FUZZ_REQUIRE(zip.AddFiles(root + QStringLiteral("/entries/*.*")),
                     QStringLiteral("cannot add the entries"));
        FUZZ_REQUIRE(zip.WriteArchive(), QStringLiteral("cannot write the archive"));
    }

    ZipArchive Zip1;
    StagingFolder staging;
    OpenedBackup state;
    const OpenOutcome outcome = openBackupArchive(
        Zip1, archive, [](const QString &) { return QStringLiteral("pw"); }, staging, state);
    if (outcome.status != OpenStatus::Opened) {
        FUZZ_REQUIRE(state.invalidArchive, QStringLiteral("a refused archive is not marked"));
        return 0;
    }
    QSet<QString> entries;
    for (const QString &name : Zip1.entryNames())
        entries.insert(name);
    for (int index = 0; index < ItemCount; ++index)
        if (state.held[index])
            (void)itemEntries(state, index, entries);
    return 0;
}
