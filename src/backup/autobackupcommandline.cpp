#include "backup/autobackupcommandline.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace quillory {

ItemFlags AutoBackupCommand::items() const
{
    ItemFlags flags{};
    for (int i = 0; i < ItemCount && i < itemFlags.size(); ++i)
        flags[i] = itemFlags.at(i) == QLatin1Char('1');
    return flags;
}

Expected<AutoBackupCommand> parseAutoBackupCommandLine(const QString &commandLine)
{
    const auto malformed = [] {
        return Result::failure(QStringLiteral(
            "The command line must read sf=USERxm=ITEMSps=PASSWORDbf=ARCHIVE, with item flags "
            "and an archive path."));
    };
    QStringList pieces = commandLine.split(QLatin1Char('='));
    if (pieces.size() > 5)
        return Result::failure(QStringLiteral(
            "A value of the command line contains \"=\" (a password cannot contain it); no "
            "backup was made."));
    // Every piece but the first and the last ends in the key of the field after it.
    for (qsizetype i = 1; i + 1 < pieces.size(); ++i) {
        if (pieces[i].size() < 2)
            return malformed();
        pieces[i].chop(2);
    }
    if (pieces.size() < 5 || pieces[0].isEmpty() || pieces[2].isEmpty() || pieces[4].isEmpty())
        return malformed();
    const QString &flags = pieces[2];
    if (std::any_of(flags.begin(), flags.end(), [](QChar flag) {
            return flag != QLatin1Char('0') && flag != QLatin1Char('1');
        }))
        return Result::failure(
            QStringLiteral("The item flags \"%1\" may hold only 0 and 1; no backup was made.")
                .arg(flags));
    // An archive of nothing would replace the last good backup, which with one kept is the only
    // one.
    if (!flags.left(ItemCount).contains(QLatin1Char('1')))
        return Result::failure(QStringLiteral("No item is chosen: nothing was written."));
    return AutoBackupCommand{pieces[1], pieces[2], pieces[3], pieces[4]};
}

void hidePasswordInArguments(int argc, char *argv[])
{
    QByteArray text;
    for (int i = 1; i < argc; ++i)
        text.append(argv[i]).append(' ');
    const QList<QByteArray> pieces = text.split('=');
    // The password is piece 3 without the key "bf" that ends it.
    if (pieces.size() < 5 || pieces[3].size() <= 2)
        return;
    // Any text left in place would tell the password's length, so every argument is blanked;
    // a non-zero last byte makes the kernel show the arguments as a title ending at the first
    // zero, which is right after the program's own path.
    char *end = argv[argc - 1] + std::strlen(argv[argc - 1]);
    for (int i = 1; i < argc; ++i)
        std::memset(argv[i], 0, std::strlen(argv[i]));
    *end = ' ';
}

} // namespace quillory
