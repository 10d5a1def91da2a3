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
    const QList<QByteArray> pieces =
        (QByteArrayLiteral("brevnor") + '\0' + fuzz::inputBytes(data, size)).split('\0');
    for (const QByteArray &piece : pieces) {
        storage.push_back(std::make_unique<char[]>(size_t(piece.size()) + 1));
        std::memcpy(storage.back().get(), piece.constData(), size_t(piece.size()) + 1);
        argv.push_back(storage.back().get());
    }

    const Expected<AutoBackupCommand> parsed = parseAutoBackupCommandLine(argumentText(argv));
    hidePasswordInArguments(int(argv.size()), argv.data());
    if (!parsed)
        return 0;
    (void)parsed->items();
    const Expected<AutoBackupCommand> hidden = parseAutoBackupCommandLine(argumentText(argv));
    FUZZ_REQUIRE(hidden, QStringLiteral("hiding the password broke the command line"));
    FUZZ_REQUIRE(hidden->user == parsed->user && hidden->itemFlags == parsed->itemFlags &&
                     hidden->archivePath == parsed->archivePath,
                 QStringLiteral("hiding the password changed another field"));
    // The blank that joins two arguments is in no argument's memory, and shows nothing.
    for (const QChar c : hidden->password)
        FUZZ_REQUIRE(c == QLatin1Char('*') || c == QLatin1Char(' '),
                     QStringLiteral("the password is still visible"));
    return 0;
}
