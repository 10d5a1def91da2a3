#pragma once

#include "platform/result.h"

#include <QFlags>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillory {

// The arguments of the archive commands: the archive and the options. Passwords are never
// among them, since arguments are visible to every user of the machine.
struct CliOptions {
    QString archive;
    std::optional<QString> items;
    std::optional<QString> description;
    std::optional<QString> passwordFile;
    bool protect = false;
    // --codepage: the code page of texts from archives made on Windows that are not UTF-8.
    std::optional<int> codePage;
    // --json: the answer as one JSON document, for scripts.
    bool json = false;
    // --quiet: no progress, and of the report only the problems.
    bool quiet = false;
    // --account, once per account folder: the accounts item restores only these.
    QStringList accounts;
    // --dry-run: say what a backup would take, and write nothing.
    bool dryRun = false;
    bool full = false;
    // --keep: how many archives a backup keeps, the new one and older ones under their dates.
    int keep = 1;
    // --help: the command's help is wanted; nothing else is checked.
    bool help = false;
};

// The options a command takes besides --password-file, which every archive command takes.
enum class CliOption {
    Items = 1,
    Description = 2,
    Protect = 4,
    CodePage = 8,
    Json = 16,
    Account = 32,
    Quiet = 64,
    Keep = 128,
    DryRun = 256,
    Full = 512
};
Q_DECLARE_FLAGS(CliOptionSet, CliOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(CliOptionSet)

// Reads the arguments after the command's name: one archive, and the options as "--name value"
// or "--name=value", in any order. Messages never repeat an option's value.
Expected<CliOptions> parseCliOptions(const QStringList &arguments, CliOptionSet accepted);

} // namespace quillory
