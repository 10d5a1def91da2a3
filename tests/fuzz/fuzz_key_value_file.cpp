// The key-value file, as a restore reads the backup information file with GetINI.
#include "app/itemtable.h"
#include "app/keyvaluefile.h"
#include "fuzzsupport.h"

using namespace quillory;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static fuzz::Scratch scratch;
    static const QStringList keys = [] {
        QStringList names{QStringLiteral("BackupComputer"), QStringLiteral("BackupLogonUser"),
                          QStringLiteral("BackupTime"),     QStringLiteral("BackupInformation"),
                          QStringLiteral("BackupItem"),     QString()};
        for (const ItemInfo &item : itemTable())
            names.append(item.listKey);
        return names;
    }();
    const QString file = scratch.fresh() + QStringLiteral("/krvstore.dat");
    fuzz::writeInput(file, fuzz::inputBytes(data, size));
    for (const QString &key : keys)
        FUZZ_REQUIRE(GetINI(key, file), QStringLiteral("a file that exists cannot be read"));
    return 0;
}
