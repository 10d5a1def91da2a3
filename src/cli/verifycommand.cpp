#include "cli/verifycommand.h"

#include "app/programcontext.h"
#include "app/stagingfolder.h"
#include "cli/archiveopening.h"
#include "cli/clioptions.h"
#include "cli/exitstatus.h"
#include "cli/passwordinput.h"
#include "cli/progressline.h"
#include "cli/runrecord.h"
#include "platform/userdialogs.h"
#include "platform/zip/ziparchive.h"
#include "restore/itementries.h"
#include "restore/openedbackup.h"

#include <unistd.h>

namespace quillory {

namespace {

int verify(ProgramContext &context, const CliOptions &options, QTextStream &out, QTextStream &err,
           RunRecord &record)
{
    const bool protectedArchive = ZipArchive::IsProtected(options.archive);
    QString password;
    if (protectedArchive) {
        PasswordInput passwords(options.passwordFile);
        const std::optional<QString> given = passwords.read(passwordPrompt(options.archive));
        if (!given)
            return refuseRun(record, err, passwords.problem());
        password = *given;
    }
    ZipArchive Zip1;
    Zip1.SetPassword(password);
    if (Result opened = Zip1.OpenArchive(options.archive); !opened) {
        context.dialogs().message(
            protectedArchive ? wrongPasswordText : invalidBackupText, applicationTitle(),
            protectedArchive ? MessageIcon::Information : MessageIcon::Error, MessageButtons::Ok);
        err << opened.message() << '\n';
        record.setReason(opened.message());
        return CliExit::Refused;
    }
    err.flush();
    ProgressLine line(STDERR_FILENO, !options.quiet, QStringLiteral("Reading the archive..."));
    const Result intact = Zip1.VerifyEntries({}, [&line](quint64 done, quint64 total) {
        line.progress(QString(), total ? int(done * 100 / total) : 100);
        line.bytes(done, total);
    });
    Result planned = Result::success();
    // Sound means the restore takes it: each account's archive is checked as the restore checks
    // it before replacing anything.
    for (const QString &name : Zip1.entryNames()) {
        if (!intact || !planned || !isFolderArchive(name))
            continue;
        planned = context.staging().status();
        if (planned)
            planned = Zip1.PlanNested(name, context.staging().path()).result();
        if (planned && options.full)
            planned = Zip1.VerifyNested(name, context.staging().path());
    }
    line.clear();
    context.endStaging();
    for (const Result &problem : {intact, planned}) {
        if (problem)
            continue;
        err << problem.message() << '\n';
        record.setReason(problem.message());
        return CliExit::Refused;
    }
    if (!options.json && !options.quiet)
        out << "The archive " << options.archive << " is sound: its " << Zip1.entryNames().size()
            << " entries read back intact.\n";
    return CliExit::Success;
}

} // namespace

int runVerifyCommand(ProgramContext &context, const CliOptions &options, QTextStream &out,
                     QTextStream &err)
{
    RunRecord record(options.archive);
    return record.finish(verify(context, options, out, err, record), options.json, out);
}

} // namespace quillory
