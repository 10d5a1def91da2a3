#include "cli/archiveopening.h"

#include "app/programcontext.h"
#include "cli/passwordinput.h"
#include "platform/userdialogs.h"
#include "restore/openedbackup.h"

namespace quillory {

QString passwordPrompt(const QString &archivePath)
{
    return QStringLiteral("Password for %1: ").arg(archivePath);
}

Result openForCommand(ProgramContext &context, ZipArchive &Zip1, const QString &path,
                      PasswordInput &passwords, OpenedBackup &state, QTextStream &err)
{
    const OpenOutcome opened = openBackupArchive(
        Zip1, path, [&](const QString &archive) { return passwords.read(passwordPrompt(archive)); },
        context.staging(), state);
    switch (opened.status) {
    case OpenStatus::Opened:
        return Result::success();
    case OpenStatus::Cancelled:
        err << "brevnor-cli: " << passwords.problem() << '\n';
        return Result::failure(passwords.problem());
    case OpenStatus::WrongPassword:
    case OpenStatus::Invalid:
        break;
    }
    context.dialogs().message(opened.message.text, applicationTitle(), opened.message.icon,
                              MessageButtons::Ok);
    err << opened.reason << '\n';
    return Result::failure(opened.reason.isEmpty() ? opened.message.text : opened.reason);
}

} // namespace quillory
