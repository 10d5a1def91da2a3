// The unattended command line as the program gets it: arguments (the input cut at every NUL)
// joined by blanks, parsed, then the password hidden in the arguments' own memory.
#include "backup/autobackupcommandline.h"
#include "fuzzsupport.h"

#include <QList>

#include <cstring>
#include <memory>
#include <vector>

using namespace quillory;

namespace {

QString argumentText(const std::vector<char *> &argv)
{
    QByteArray text;
    for (size_t i = 1; i < argv.size(); ++i) {
        if (i > 1)
            text.append(' ');
        text.append(argv[i]);
    }
    return QString::fromLocal8Bit(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Each argument in an allocation of its own size, so that a write past one is caught.
    std::vector<std::unique_ptr<char[]>> storage;
    std::vector<char *> argv;
    std::vector<size_t> lengths;
    const QList<QByteArray> pieces =
        (QByteArrayLiteral("brevnor") + '\0' + fuzz::inputBytes(data, size)).split('\0');
    for (const QByteArray &piece : pieces) {
        storage.push_back(std::make_unique<char[]>(size_t(piece.size()) + 1));
        std::memcpy(storage.back().get(), piece.constData(), size_t(piece.size()) + 1);
        argv.push_back(storage.back().get());
        lengths.push_back(size_t(piece.size()));
    }

    const Expected<AutoBackupCommand> parsed = parseAutoBackupCommandLine(argumentText(argv));
    if (parsed)
        (void)parsed->items();
    hidePasswordInArguments(int(argv.size()), argv.data());
    // The arguments may no longer be terminated: only the bytes they had are looked at.
    if (parsed && !parsed->password.isEmpty())
        for (size_t i = 1; i < argv.size(); ++i)
            for (size_t at = 0; at < lengths[i]; ++at)
                FUZZ_REQUIRE(argv[i][at] == '\0',
                             QStringLiteral("argument %1 still shows its text").arg(i));
    return 0;
}
