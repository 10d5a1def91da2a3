#include "cli/clioptions.h"

#include "backup/generations.h"
#include "platform/text/legacytext.h"

namespace quillory {

Expected<CliOptions> parseCliOptions(const QStringList &arguments, CliOptionSet accepted)
{
    CliOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
            continue;
        }
        if (!argument.startsWith(QLatin1String("--"))) {
            // The extra argument may be a value meant for an option, a password even: not shown.
            if (!options.archive.isEmpty())
                return Result::failure(QStringLiteral("only one archive can be named"));
            options.archive = argument;
            continue;
        }
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        std::optional<QString> *value = nullptr;
        std::optional<QString> codePage;
        std::optional<QString> account;
        std::optional<QString> keep;
        if (name == QLatin1String("--protect") && accepted.testFlag(CliOption::Protect) &&
            equals < 0) {
            options.protect = true;
            continue;
        } else if (name == QLatin1String("--json") && accepted.testFlag(CliOption::Json) &&
                   equals < 0) {
            options.json = true;
            continue;
        } else if (name == QLatin1String("--dry-run") && accepted.testFlag(CliOption::DryRun) &&
                   equals < 0) {
            options.dryRun = true;
            continue;
        } else if (name == QLatin1String("--full") && accepted.testFlag(CliOption::Full) &&
                   equals < 0) {
            options.full = true;
            continue;
        } else if (name == QLatin1String("--quiet") && accepted.testFlag(CliOption::Quiet) &&
                   equals < 0) {
            options.quiet = true;
            continue;
        } else if (name == QLatin1String("--account") && accepted.testFlag(CliOption::Account)) {
            value = &account;
        } else if (name == QLatin1String("--password-file")) {
            value = &options.passwordFile;
        } else if (name == QLatin1String("--items") && accepted.testFlag(CliOption::Items)) {
            value = &options.items;
        } else if (name == QLatin1String("--description") &&
                   accepted.testFlag(CliOption::Description)) {
            value = &options.description;
        } else if (name == QLatin1String("--keep") && accepted.testFlag(CliOption::Keep)) {
            value = &keep;
        } else if (name == QLatin1String("--codepage") && accepted.testFlag(CliOption::CodePage)) {
            value = &codePage;
        } else {
            // Only the name: what follows "=" may be a secret typed where it does not belong.
            return Result::failure(QStringLiteral("unknown option \"%1\"").arg(name));
        }
        if (equals >= 0)
            *value = argument.mid(equals + 1);
        else if (i + 1 < arguments.size())
            *value = arguments.at(++i);
        else
            return Result::failure(QStringLiteral("%1 needs a value").arg(name));
        if (account)
            options.accounts.append(*account);
        if (keep) {
            bool ok = false;
            options.keep = keep->toInt(&ok);
            if (!ok || options.keep < 1 || options.keep > maxKeptArchives)
                return Result::failure(
                    QStringLiteral("--keep needs a number of archives from 1 to %1")
                        .arg(maxKeptArchives));
        }
        if (codePage) {
            bool ok = false;
            options.codePage = codePage->toInt(&ok);
            if (!ok || !isConvertibleCodePage(*options.codePage))
                return Result::failure(
                    QStringLiteral("--codepage needs the number of a code page this system can "
                                   "convert, such as 1252"));
        }
    }
    if (options.archive.isEmpty() && !options.help)
        return Result::failure(QStringLiteral("no archive was named"));
    return options;
}

} // namespace quillory
