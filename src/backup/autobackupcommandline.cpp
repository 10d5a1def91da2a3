#include "backup/autobackupcommandline.h"

#include <QStringList>

#include <vector>

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
    return AutoBackupCommand{pieces[1], pieces[2], pieces[3], pieces[4]};
}

void hidePasswordInArguments(int argc, char *argv[])
{
    struct Place {
        char *byte;
        char value;
    };
    std::vector<Place> places;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            places.push_back({nullptr, ' '});
        for (char *c = argv[i]; *c; ++c)
            places.push_back({c, *c});
    }
    std::vector<size_t> equals;
    for (size_t i = 0; i < places.size(); ++i)
        if (places[i].value == '=')
            equals.push_back(i);
    if (equals.size() < 4)
        return;
    const size_t first = equals[2] + 1;
    const size_t last = equals.back() >= 2 ? equals.back() - 2 : 0;
    for (size_t i = first; i < last; ++i)
        if (places[i].byte)
            *places[i].byte = '*';
}

} // namespace quillory
