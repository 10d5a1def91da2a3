#include "cli/verifycommand.h"

#include "app/programcontext.h"
#include "cli/archiveopening.h"
#include "cli/clioptions.h"
#include "cli/exitstatus.h"
#include "cli/passwordinput.h"
#include "platform/userdialogs.h"
#include "platform/zip/ziparchive.h"
#include "restore/openedbackup.h"

namespace quillory {

int runVerifyCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                     QTextStream &err)
{
    const bool protectedArchive = ZipArchive::IsProtected(options.archive);
    QString password;
    if (protectedArchive) {
        PasswordInput passwords(options.passwordFile);
        const std::optional<QString> given = passwords.read(passwordPrompt(options.archive));
        if (!given) {
            err << "brevnor-cli: " << passwords.problem() << '\n';
            return CliExit::Refused;
        }
        password = *given;
    }
    ZipArchive Zip1;
    Zip1.SetPassword(password);
    if (Result opened = Zip1.OpenArchive(options.archive); !opened) {
        context.dialogs().message(
            protectedArchive ? wrongPasswordText : invalidBackupText, applicationTitle(),
            protectedArchive ? MessageIcon::Information : MessageIcon::Error, MessageButtons::Ok);
        err << opened.message() << '\n';
        return CliExit::Refused;
    }
    if (Result intact = Zip1.VerifyEntries(); !intact) {
        err << intact.message() << '\n';
        return CliExit::Refused;
    }
    out << "The archive " << options.archive << " is sound: its " << Zip1.entryNames().size()
        << " entries read back intact.\n";
    return CliExit::Success;
}

} // namespace quillory
