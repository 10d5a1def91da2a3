// quillory-make-profile: makes a Wine prefix with a Windows Live Mail profile of any size, for
// the tests, for trying the program out and for benchmarks.

#include "profilefolder.h"
#include "sampleprofile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

#include <limits>

namespace {

constexpr int usageError = 2;
constexpr int writeError = 1;

int fail(int code, const QString &message)
{
    QTextStream(stderr) << "quillory-make-profile: " << message << '\n';
    return code;
}

template <typename Number>
bool readNumber(const QCommandLineParser &parser, const QCommandLineOption &option, Number &value,
                Number lowest, Number highest, QString &error)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || number < double(lowest) || number > double(highest) ||
        (std::numeric_limits<Number>::is_integer && number != double(qint64(number)))) {
        error = QStringLiteral("--%1 wants a number from %2 to %3, not \"%4\"")
                    .arg(option.names().constFirst())
                    .arg(double(lowest))
                    .arg(double(highest))
                    .arg(text);
        return false;
    }
    value = Number(number);
    return true;
}

bool isUsableUserName(const QString &name)
{
    // Windows drops trailing dots and spaces, which would part the name from its folder.
    if (name.isEmpty() || name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c))
            return false;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillory-make-profile"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes a Wine prefix holding a Windows Live Mail profile in FOLDER.\n"
                       "The defaults make a small profile for tests; for about 1 GB try\n"
                       "  --accounts 8 --messages 4000 --message-size 4000 --attachments 0.5 "
                       "--attachment-size 40000"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FOLDER"),
                                 QStringLiteral("Where to make it: a new or empty folder."));
    const QCommandLineOption accounts(QStringLiteral("accounts"),
                                      QStringLiteral("Mail and news accounts (default 3)."),
                                      QStringLiteral("N"));
    const QCommandLineOption messages(QStringLiteral("messages"),
                                      QStringLiteral("Messages per account (default 3)."),
                                      QStringLiteral("N"));
    const QCommandLineOption firstMessages(
        QStringLiteral("first-account-messages"),
        QStringLiteral("Messages of the first account (default as --messages)."),
        QStringLiteral("N"));
    const QCommandLineOption messageSize(
        QStringLiteral("message-size"),
        QStringLiteral("Bytes of headers and text per message (default 600)."),
        QStringLiteral("BYTES"));
    const QCommandLineOption attachments(
        QStringLiteral("attachments"),
        QStringLiteral("Share of the messages, 0 to 1, that carry an attachment of random, "
                       "incompressible bytes (default 0)."),
        QStringLiteral("FRACTION"));
    const QCommandLineOption attachmentSize(
        QStringLiteral("attachment-size"),
        QStringLiteral("Bytes of each attachment before encoding (default 32768)."),
        QStringLiteral("BYTES"));
    const QCommandLineOption user(QStringLiteral("user"),
                                  QStringLiteral("Windows user name (default anna)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the contents (default 1)."),
                                  QStringLiteral("N"));
    const QCommandLineOption force(
        QStringLiteral("force"),
        QStringLiteral("Write into a folder that is not empty, replacing the files made here; "
                       "nothing else is removed."));
    const QCommandLineOption noLdap(QStringLiteral("no-ldap"),
                                    QStringLiteral("No directory (LDAP) accounts."));
    const QCommandLineOption noContacts(QStringLiteral("no-contacts"),
                                        QStringLiteral("No Contacts folder."));
    const QCommandLineOption noStationery(QStringLiteral("no-stationery"),
                                          QStringLiteral("No My Stationery folder."));
    const QCommandLineOption noRules(QStringLiteral("no-rules"),
                                     QStringLiteral("No mail and news rules in the registry."));
    const QCommandLineOption noMailClient(
        QStringLiteral("no-mail-client"),
        QStringLiteral("No \"Store Root\" value: the mail client looks uninstalled."));
    const QCommandLineOption noShellFolders(
        QStringLiteral("no-shell-folders"),
        QStringLiteral("No Shell Folders and User Shell Folders keys."));
    parser.addOptions({accounts, messages, firstMessages, messageSize, attachments, attachmentSize,
                       user, seed, force, noLdap, noContacts, noStationery, noRules, noMailClient,
                       noShellFolders});

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(usageError, parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);
    if (parser.positionalArguments().size() != 1)
        return fail(usageError, QStringLiteral("name one folder to make the profile in"));

    SampleOptions options;
    QString error;
    if (!readNumber(parser, accounts, options.accounts, 0, 1000, error) ||
        !readNumber(parser, messages, options.messagesPerAccount, 0, 10000000, error) ||
        !readNumber(parser, firstMessages, options.firstAccountMessages, 0, 10000000, error) ||
        !readNumber<qint64>(parser, messageSize, options.messageSize, 0, qint64(1) << 40, error) ||
        !readNumber(parser, attachments, options.attachmentShare, 0.0, 1.0, error) ||
        !readNumber<qint64>(parser, attachmentSize, options.attachmentSize, 1, qint64(1) << 40,
                            error) ||
        !readNumber<std::uint32_t>(parser, seed, options.seed, 0,
                                   std::numeric_limits<std::uint32_t>::max(), error))
        return fail(usageError, error);
    if (parser.isSet(user))
        options.user = parser.value(user);
    if (!isUsableUserName(options.user))
        return fail(usageError,
                    QStringLiteral("\"%1\" cannot be a Windows user name").arg(options.user));
    options.ldap = !parser.isSet(noLdap);
    options.contacts = !parser.isSet(noContacts);
    options.stationery = !parser.isSet(noStationery);
    options.rules = !parser.isSet(noRules);
    options.mailClient = !parser.isSet(noMailClient);
    options.shellFolders = !parser.isSet(noShellFolders);

    const QString target = QDir(parser.positionalArguments().constFirst()).absolutePath();
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && !targetInfo.isDir())
        return fail(usageError, QStringLiteral("%1 is not a folder").arg(target));
    if (targetInfo.exists() && !parser.isSet(force) &&
        !QDir(target).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                              QDir::System))
        return fail(
            usageError,
            QStringLiteral("%1 is not empty; use --force to write into it anyway").arg(target));
    if (!QDir().mkpath(target))
        return fail(usageError, QStringLiteral("cannot create the folder %1").arg(target));
    if (::access(QFile::encodeName(target).constData(), W_OK | X_OK) != 0)
        return fail(usageError, QStringLiteral("cannot write into the folder %1").arg(target));

    ProfileFolder folder(target);
    SampleProfile profile(options, folder);
    if (const quillory::Result made = profile.make(); !made)
        return fail(writeError, made.message());

    QTextStream(stdout) << QStringLiteral("Made a sample profile in %1: %2 accounts, %3 "
                                          "messages, %4 folders, %5 files, %6 bytes\n")
                               .arg(target)
                               .arg(profile.accountCount())
                               .arg(profile.messageCount())
                               .arg(folder.folderCount())
                               .arg(folder.fileCount())
                               .arg(folder.byteCount());
    return 0;
}
