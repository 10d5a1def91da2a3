#include "platform/wine/winepaths.h"
#include "platform/wine/wineregistrystore.h"
#include "support/testsupport.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <functional>

using namespace quillory;
using quillory::test::readFile;
using quillory::test::writeFile;

namespace {

const QString store =
    QStringLiteral("drive_c/users/anna/AppData/Local/Microsoft/Windows Live Mail");
const QString stationery = QStringLiteral("drive_c/users/anna/Documents/My Stationery");

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runMaker(const QStringList &arguments)
{
    const test::ProgramRun run =
        test::runProgram(QStringLiteral("quillory-make-profile"), arguments);
    return {run.exitCode, QString::fromUtf8(run.out), QString::fromUtf8(run.err)};
}

// Regular files below `folder`, relative to it; links are neither listed nor followed.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

qint64 bytesBelow(const QString &folder)
{
    qint64 bytes = 0;
    for (const QString &file : filesBelow(folder))
        bytes += QFileInfo(folder + QLatin1Char('/') + file).size();
    return bytes;
}

QStringList entries(const QString &folder, QDir::Filters filters)
{
    QStringList names = QDir(folder).entryList(filters | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

QStringList filesEndingIn(const QString &folder, const QString &ending)
{
    return entries(folder, QDir::Files)
        .filter(QRegularExpression(QRegularExpression::escape(ending) + QLatin1Char('$'),
                                   QRegularExpression::CaseInsensitiveOption));
}

QString linkText(const QString &path)
{
    char buffer[4096];
    const ssize_t size = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return size < 0 ? QString() : QFile::decodeName(QByteArray(buffer, size));
}

struct RegSection {
    QStringList components; // as written, escapes kept
    QStringList values;     // whole value lines, continuations joined
};

// Checks the layout wineserver gives its files and returns the sections; `error` says what
// is wrong otherwise.
QList<RegSection> parseRegFile(const QByteArray &bytes, QString &error)
{
    for (const char c : bytes)
        if (quint8(c) > 127 || c == '\r') {
            error = QStringLiteral("not 7-bit text with LF line ends");
            return {};
        }
    const QStringList lines = QString::fromLatin1(bytes).split(QLatin1Char('\n'));
    if (lines.size() < 5 || lines.at(0) != QLatin1String("WINE REGISTRY Version 2") ||
        !lines.at(1).startsWith(QLatin1String(";; All keys relative to ")) ||
        !lines.at(2).isEmpty() || lines.at(3) != QLatin1String("#arch=win64") ||
        !lines.last().isEmpty()) {
        error = QStringLiteral("bad header or end");
        return {};
    }
    static const QRegularExpression header(QStringLiteral("^\\[(.+)\\] (\\d+)$"));
    static const QRegularExpression value(QStringLiteral(
        "^(@|\"(?:[^\"\\\\]|\\\\.)*\")=(\"(?:[^\"\\\\]|\\\\.)*\"|str\\([27]\\):\"(?:[^\"\\\\]|"
        "\\\\.)*\"|dword:[0-9a-f]{8}|hex(?:\\([0-9a-f]+\\))?:(?:[0-9a-f]{2}(?:,[0-9a-f]{2})*)?)$"));
    QList<RegSection> sections;
    for (qsizetype i = 4; i < lines.size() - 1; ++i) {
        const QRegularExpressionMatch key = header.match(lines.at(i + 1));
        if (!lines.at(i).isEmpty() || !key.hasMatch() || i + 2 >= lines.size()) {
            error = QStringLiteral("line %1: expected a blank line and a key").arg(i + 1);
            return {};
        }
        const qint64 seconds = key.captured(2).toLongLong();
        if (lines.at(i + 2) !=
            QStringLiteral("#time=%1").arg((seconds + 11644473600) * 10000000, 0, 16)) {
            error = QStringLiteral("line %1: #time does not match").arg(i + 3);
            return {};
        }
        RegSection section{key.captured(1).split(QStringLiteral("\\\\")), {}};
        for (i += 3; i < lines.size() - 1 && !lines.at(i).isEmpty(); ++i) {
            QString line = lines.at(i);
            while (line.endsWith(QLatin1String(",\\")) && i + 1 < lines.size() &&
                   lines.at(i + 1).startsWith(QLatin1String("  "))) {
                line.chop(1);
                line += lines.at(++i).mid(2);
            }
            if (!value.match(line).hasMatch()) {
                error = QStringLiteral("line %1: not a value: %2").arg(i + 1).arg(line);
                return {};
            }
            section.values.append(line);
        }
        --i;
        sections.append(section);
    }
    return sections;
}

bool treeOrdered(const QStringList &a, const QStringList &b)
{
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        if (const int order = a.at(i).toLower().compare(b.at(i).toLower()))
            return order < 0;
    return a.size() < b.size();
}

bool isBelow(const QStringList &key, const QStringList &parent)
{
    return key.size() > parent.size() && key.mid(0, parent.size()) == parent;
}

QString valueName(const QString &line)
{
    return line.startsWith(QLatin1Char('@')) ? QString() : line.section(QLatin1String("\"="), 0, 0);
}

const RegSection *findSection(const QList<RegSection> &sections, const QString &path)
{
    for (const RegSection &section : sections)
        if (section.components.join(QStringLiteral("\\\\")) == path)
            return &section;
    return nullptr;
}

bool hasValueLine(const QList<RegSection> &sections, const QString &path, const QString &start)
{
    const RegSection *section = findSection(sections, path);
    return section && std::any_of(section->values.cbegin(), section->values.cend(),
                                  [&](const QString &line) { return line.startsWith(start); });
}

} // namespace

class SampleProfileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultProfileHasTheWholeLayout()
    {
        QTemporaryDir dir;
        const Run run = runMaker({dir.path()});
        QCOMPARE(run.exitCode, 0);
        const QDir profile(dir.path());

        QCOMPARE(linkText(profile.filePath(QStringLiteral("dosdevices/c:"))),
                 QStringLiteral("../drive_c"));
        QCOMPARE(linkText(profile.filePath(QStringLiteral("dosdevices/z:"))), QStringLiteral("/"));

        const QString storePath = profile.filePath(store);
        QCOMPARE(entries(storePath, QDir::Dirs),
                 QStringList({QStringLiteral("Backup"), QStringLiteral("Contacts"),
                              QStringLiteral("Home"), QStringLiteral("Sentinel"),
                              QStringLiteral("Storage Folders"), QStringLiteral("Work"),
                              QStringLiteral("Your Feeds"), QStringLiteral("news.example.com")}));
        static const QRegularExpression accountFile(
            QStringLiteral("^account\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}\\.oeaccount$"));
        int messages = 0;
        for (const QString &account :
             {QStringLiteral("Work"), QStringLiteral("Home"), QStringLiteral("news.example.com")}) {
            const QString folder = storePath + QLatin1Char('/') + account;
            const QStringList files = entries(folder, QDir::Files);
            QCOMPARE(files.size(), 1);
            QVERIFY2(accountFile.match(files.first()).hasMatch(), qPrintable(files.first()));
            messages +=
                filesBelow(folder).filter(QRegularExpression(QStringLiteral("\\.eml$"))).size();
        }
        QCOMPARE(messages, 9);
        QCOMPARE(entries(storePath + QStringLiteral("/Work"), QDir::Dirs),
                 QStringList({QStringLiteral("Deleted Items"), QStringLiteral("Inbox"),
                              QStringLiteral("Junk E-mail"), QStringLiteral("Sent Items")}));
        for (const QString &skipped :
             {QStringLiteral("Backup"), QStringLiteral("Your Feeds"), QStringLiteral("Contacts"),
              QStringLiteral("Sentinel"), QStringLiteral("Storage Folders")})
            QVERIFY2(!filesBelow(storePath + QLatin1Char('/') + skipped).isEmpty(),
                     qPrintable(skipped));

        const QString contacts = storePath + QStringLiteral("/Contacts/Default");
        QCOMPARE(filesEndingIn(contacts, QStringLiteral("contact")).size(), 2);
        QCOMPARE(filesEndingIn(contacts, QStringLiteral("group")).size(), 2);
        QCOMPARE(entries(contacts, QDir::Files).size(), 5);

        QCOMPARE(filesEndingIn(storePath, QStringLiteral("oeaccount")).size(), 2);
        QCOMPARE(filesEndingIn(storePath, QStringLiteral("msmessagestore")),
                 QStringList({QStringLiteral("Mail.MSMessageStore"),
                              QStringLiteral("WindowsMail.MSMessageStore")}));
        QCOMPARE(entries(storePath, QDir::Files).size(), 6);

        const QStringList stationeryFiles = entries(profile.filePath(stationery), QDir::Files);
        QVERIFY(!stationeryFiles.filter(QStringLiteral(".htm")).isEmpty());
        QVERIFY(!stationeryFiles.filter(QStringLiteral(".jpg")).isEmpty());
        QVERIFY(QFileInfo(profile.filePath(QStringLiteral("system.reg"))).size() > 0);

        const qsizetype files = filesBelow(dir.path()).size();
        const qint64 bytes = bytesBelow(dir.path());
        QVERIFY2(run.out.contains(QStringLiteral("%1 files, %2 bytes").arg(files).arg(bytes)),
                 qPrintable(run.out));
        QVERIFY(bytes < 100 * 1024);
    }

    void registryPathsLeadToTheFolders()
    {
        QTemporaryDir dir;
        QCOMPARE(runMaker({dir.path(), QStringLiteral("--user"), QStringLiteral("jörg")}).exitCode,
                 0);
        const QByteArray reg = readFile(dir.filePath(QStringLiteral("user.reg")));
        QVERIFY(
            reg.contains("\"Local AppData\"=\"C:\\\\users\\\\j\\xf6rg\\\\AppData\\\\Local\"\n"));
        QVERIFY(reg.contains("\"Personal\"=\"C:\\\\users\\\\j\\xf6rg\\\\Documents\"\n"));
        QVERIFY(reg.contains("\"USERNAME\"=\"j\\xf6rg\"\n"));

        const WinePaths paths(dir.path());
        const std::optional<QString> storeFolder = paths.toCanonicalHostPath(
            QStringLiteral("C:\\users\\jörg\\AppData\\Local\\Microsoft\\Windows Live Mail"));
        QVERIFY(storeFolder);
        QVERIFY(QFileInfo(*storeFolder + QStringLiteral("/Work/Inbox")).isDir());
        const WinePaths::Variables environment{
            {QStringLiteral("LOCALAPPDATA"), QStringLiteral("C:\\users\\jörg\\AppData\\Local")}};
        QCOMPARE(paths.toCanonicalHostPath(
                     QStringLiteral("%LOCALAPPDATA%\\Microsoft\\Windows Live Mail"), environment),
                 storeFolder);
        QVERIFY(
            paths.toCanonicalHostPath(QStringLiteral("C:\\users\\jörg\\Documents\\My Stationery")));
    }

    void registryFilesAreWrittenAsWineWritesThem()
    {
        QTemporaryDir dir;
        QCOMPARE(runMaker({dir.path()}).exitCode, 0);
        for (const QString &file : {QStringLiteral("user.reg"), QStringLiteral("system.reg")}) {
            QString error;
            const QList<RegSection> sections = parseRegFile(readFile(dir.filePath(file)), error);
            QVERIFY2(error.isEmpty(), qPrintable(file + QStringLiteral(": ") + error));
            QVERIFY(!sections.isEmpty());
            for (qsizetype i = 0; i < sections.size(); ++i) {
                const RegSection &section = sections.at(i);
                const QString path = section.components.join(QLatin1Char('\\'));
                if (i > 0)
                    QVERIFY2(treeOrdered(sections.at(i - 1).components, section.components),
                             qPrintable(path));
                if (section.values.isEmpty() && i + 1 < sections.size())
                    QVERIFY2(!isBelow(sections.at(i + 1).components, section.components),
                             qPrintable(path));
                for (qsizetype v = 1; v < section.values.size(); ++v)
                    QVERIFY2(valueName(section.values.at(v - 1)).toLower() <
                                 valueName(section.values.at(v)).toLower(),
                             qPrintable(section.values.at(v)));
            }
        }

        QString error;
        const QList<RegSection> user =
            parseRegFile(readFile(dir.filePath(QStringLiteral("user.reg"))), error);
        const QString mail = QStringLiteral("Software\\\\Microsoft\\\\Windows Live Mail");
        const QString shell =
            QStringLiteral("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\");
        QVERIFY(hasValueLine(
            user, mail,
            QStringLiteral(
                "\"Store Root\"=str(2):\"%LOCALAPPDATA%\\\\Microsoft\\\\Windows Live Mail\"")));
        QVERIFY(hasValueLine(
            user, shell + QStringLiteral("Shell Folders"),
            QStringLiteral("\"Local AppData\"=\"C:\\\\users\\\\anna\\\\AppData\\\\Local\"")));
        QVERIFY(hasValueLine(user, shell + QStringLiteral("Shell Folders"),
                             QStringLiteral("\"Personal\"=\"C:\\\\users\\\\anna\\\\Documents\"")));
        QVERIFY(hasValueLine(user, shell + QStringLiteral("User Shell Folders"),
                             QStringLiteral("\"Local AppData\"=str(2):\"%USERPROFILE%")));
        QVERIFY(hasValueLine(user, QStringLiteral("Volatile Environment"),
                             QStringLiteral("\"USERNAME\"=\"anna\"")));
        QVERIFY(findSection(user, mail + QStringLiteral("\\\\Rules\\\\Mail\\\\000")));
        QVERIFY(findSection(user, mail + QStringLiteral("\\\\Rules\\\\Mail\\\\001")));
        QVERIFY(findSection(user, mail + QStringLiteral("\\\\Rules\\\\News\\\\000")));
        QVERIFY(hasValueLine(user, mail + QStringLiteral("\\\\signatures\\\\00000000"),
                             QStringLiteral("\"name\"=")));
        const RegSection *signature =
            findSection(user, mail + QStringLiteral("\\\\signatures\\\\00000000"));
        QVERIFY(signature && signature->values.filter(QStringLiteral("\"text\"="))
                                 .join(QString())
                                 .contains(QStringLiteral("\\r\\n")));

        const QStringList below = [&] {
            QStringList lines;
            for (const RegSection &section : user)
                if (section.components.join(QStringLiteral("\\\\")).startsWith(mail))
                    lines += section.values;
            return lines;
        }();
        for (const QString &form :
             {QStringLiteral("\"=\""), QStringLiteral("=str(2):"), QStringLiteral("=str(7):"),
              QStringLiteral("=dword:"), QStringLiteral("=hex:"), QStringLiteral("=hex(b):"),
              QStringLiteral("\\x"), QStringLiteral(",\\")})
            QVERIFY2(!below.filter(form).isEmpty(), qPrintable(form));
        QVERIFY(below.contains(QStringLiteral("@=\"\"")));
        // Escapes as Wine writes them: a fixed width where a hex digit follows.
        QVERIFY(!below.filter(QStringLiteral("Gr\\xfc\\x00dfe")).isEmpty());
        QVERIFY(!below.filter(QRegularExpression(QStringLiteral("=hex:$"))).isEmpty());
        QVERIFY(!below.filter(QRegularExpression(QStringLiteral("^\"[^\"]*=[^\"]*\"="))).isEmpty());
    }

    void theRegistryStoreReadsTheProfile()
    {
        QTemporaryDir dir;
        QCOMPARE(runMaker({dir.path(), QStringLiteral("--user"), QStringLiteral("jörg")}).exitCode,
                 0);
        const WineRegistryStore registry(dir.path());
        constexpr auto user = RegistryRoot::CurrentUser;
        const QString mail = QStringLiteral("Software\\Microsoft\\Windows Live Mail");
        const auto sz = [](const QString &text) { return text.toUtf8() + '\0'; };

        QCOMPARE(
            registry.value(user, mail, QStringLiteral("Store Root")),
            (RegistryValue{QStringLiteral("Store Root"), RegType::ExpandSz,
                           sz(QStringLiteral("%LOCALAPPDATA%\\Microsoft\\Windows Live Mail"))}));
        const QString shellFolders =
            QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
        const std::optional<RegistryValue> local =
            registry.value(user, shellFolders, QStringLiteral("Local AppData"));
        QVERIFY(local);
        QCOMPARE(local->data, sz(QStringLiteral("C:\\users\\jörg\\AppData\\Local")));
        QCOMPARE(registry.value(user, shellFolders, QStringLiteral("Personal"))->data,
                 sz(QStringLiteral("C:\\users\\jörg\\Documents")));
        QCOMPARE(
            registry
                .value(user, mail + QStringLiteral("\\signatures\\00000000"),
                       QStringLiteral("text"))
                ->data,
            sz(QStringLiteral("Best regards,\r\njörg\r\nExample Ltd. – Grüße aus Zürich\r\n")));
        QCOMPARE(registry.subkeys(user, mail + QStringLiteral("\\Rules\\Mail")),
                 QStringList({QStringLiteral("000"), QStringLiteral("001")}));
        QCOMPARE(registry.subkeys(user, mail + QStringLiteral("\\Rules\\News")),
                 QStringList{QStringLiteral("000")});
        const std::optional<QList<RegistryValue>> junk =
            registry.values(user, mail + QStringLiteral("\\PerPassportSettings\\0003bffd9c8a2d41"));
        QVERIFY(junk);
        QVERIFY(junk->contains(
            RegistryValue{QStringLiteral("Junk Mail Blocked Senders"), RegType::Binary, {}}));
        QVERIFY(
            junk->contains(RegistryValue{QStringLiteral("Junk Mail Last Update"), RegType::Qword,
                                         QByteArray::fromHex("504c2b3a2e9cc901")}));
        QCOMPARE(registry
                     .value(RegistryRoot::LocalMachine,
                            QStringLiteral(
                                "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"),
                            QStringLiteral("ComputerName"))
                     ->data,
                 sz(QStringLiteral("SAMPLE-PC")));

        // The way to the store, as the program takes it.
        const QString storeFolder = QString::fromUtf8(local->data.chopped(1)) +
                                    QStringLiteral("\\Microsoft\\Windows Live Mail");
        const std::optional<QString> host = WinePaths(dir.path()).toCanonicalHostPath(storeFolder);
        QVERIFY(host);
        QVERIFY(QFileInfo(*host + QStringLiteral("/Work/Inbox")).isDir());
    }

    void sizesFollowTheParameters()
    {
        const auto make = [](const QStringList &options, QTemporaryDir &dir) {
            return runMaker(QStringList{dir.path()} + options).exitCode == 0;
        };
        const auto messagesIn = [](const QTemporaryDir &dir) {
            QStringList messages;
            for (const QString &file : filesBelow(dir.filePath(store)))
                if (file.endsWith(QLatin1String(".eml")) &&
                    !file.startsWith(QLatin1String("Your Feeds")) &&
                    !file.startsWith(QLatin1String("Storage Folders")))
                    messages.append(dir.filePath(store) + QLatin1Char('/') + file);
            return messages;
        };

        QTemporaryDir few, many, big, attached, mixed, none, more;
        QVERIFY(make({QStringLiteral("--accounts"), QStringLiteral("2"),
                      QStringLiteral("--messages"), QStringLiteral("2")},
                     few));
        QVERIFY(make({QStringLiteral("--accounts"), QStringLiteral("2"),
                      QStringLiteral("--messages"), QStringLiteral("6")},
                     many));
        QCOMPARE(messagesIn(few).size(), 4);
        QCOMPARE(messagesIn(many).size(), 12);
        QTemporaryDir lopsided;
        QVERIFY(make({QStringLiteral("--accounts"), QStringLiteral("2"),
                      QStringLiteral("--messages"), QStringLiteral("2"),
                      QStringLiteral("--first-account-messages"), QStringLiteral("5")},
                     lopsided));
        QCOMPARE(messagesIn(lopsided).size(), 7);
        QVERIFY(bytesBelow(many.path()) > bytesBelow(few.path()));

        QVERIFY(make({QStringLiteral("--message-size"), QStringLiteral("5000")}, big));
        for (const QString &message : messagesIn(big)) {
            const QByteArray bytes = readFile(message);
            QVERIFY(bytes.size() >= 5000 && bytes.size() < 5000 + 200);
            QVERIFY(bytes.endsWith("\r\n") && !bytes.contains("\n\n"));
            QVERIFY(qCompress(bytes).size() < bytes.size() / 2);
        }

        QVERIFY(make({QStringLiteral("--attachments"), QStringLiteral("1"),
                      QStringLiteral("--attachment-size"), QStringLiteral("30000")},
                     attached));
        for (const QString &message : messagesIn(attached)) {
            const QByteArray bytes = readFile(message);
            QVERIFY(bytes.size() > 40000);
            QVERIFY(bytes.contains("Content-Transfer-Encoding: base64"));
            // Random bytes stay random: base64 leaves nothing but its own 6 bits in 8 to save.
            QVERIFY(qCompress(bytes).size() > bytes.size() * 7 / 10);
        }

        QVERIFY(make({QStringLiteral("--messages"), QStringLiteral("20"),
                      QStringLiteral("--attachments"), QStringLiteral("0.5"),
                      QStringLiteral("--attachment-size"), QStringLiteral("1000")},
                     mixed));
        const QStringList mixedMessages = messagesIn(mixed);
        const auto withAttachment =
            std::count_if(mixedMessages.cbegin(), mixedMessages.cend(), [](const QString &m) {
                return readFile(m).contains("Content-Disposition: attachment");
            });
        QVERIFY(withAttachment > 10 && withAttachment < 50);

        QVERIFY(make({QStringLiteral("--accounts"), QStringLiteral("0")}, none));
        QCOMPARE(messagesIn(none).size(), 0);
        QVERIFY(QFileInfo::exists(none.filePath(store + QStringLiteral("/Mail.MSMessageStore"))));
        QVERIFY(make({QStringLiteral("--accounts"), QStringLiteral("5")}, more));
        QVERIFY(QFileInfo(more.filePath(store + QStringLiteral("/Account 5/Inbox"))).isDir());
    }

    void theSeedDecidesTheContents()
    {
        QTemporaryDir first, again, other;
        QCOMPARE(runMaker({first.path(), QStringLiteral("--seed"), QStringLiteral("7"),
                           QStringLiteral("--attachments"), QStringLiteral("0.5")})
                     .exitCode,
                 0);
        QCOMPARE(runMaker({again.path(), QStringLiteral("--seed"), QStringLiteral("7"),
                           QStringLiteral("--attachments"), QStringLiteral("0.5")})
                     .exitCode,
                 0);
        QCOMPARE(runMaker({other.path(), QStringLiteral("--seed"), QStringLiteral("8"),
                           QStringLiteral("--attachments"), QStringLiteral("0.5")})
                     .exitCode,
                 0);
        const QStringList files = filesBelow(first.path());
        QCOMPARE(filesBelow(again.path()), files);
        for (const QString &file : files)
            QVERIFY2(readFile(first.filePath(file)) == readFile(again.filePath(file)),
                     qPrintable(file));
        QVERIFY(filesBelow(other.path()) != files);
    }

    void optionsLeaveOutTheirPart()
    {
        struct Part {
            QString option;
            std::function<bool(const QTemporaryDir &)> present;
        };
        const auto regHas = [](const QTemporaryDir &dir, const char *text) {
            return readFile(dir.filePath(QStringLiteral("user.reg"))).contains(text);
        };
        const QList<Part> parts = {
            {QStringLiteral("--no-ldap"),
             [&](const QTemporaryDir &dir) {
                 return !filesEndingIn(dir.filePath(store), QStringLiteral("oeaccount"))
                             .isEmpty() &&
                        regHas(dir, "\"Default LDAP Account\"");
             }},
            {QStringLiteral("--no-contacts"),
             [](const QTemporaryDir &dir) {
                 return QFileInfo::exists(dir.filePath(store + QStringLiteral("/Contacts")));
             }},
            {QStringLiteral("--no-stationery"),
             [](const QTemporaryDir &dir) { return QFileInfo::exists(dir.filePath(stationery)); }},
            {QStringLiteral("--no-rules"),
             [&](const QTemporaryDir &dir) { return regHas(dir, "\\\\Rules\\\\"); }},
            {QStringLiteral("--no-mail-client"),
             [&](const QTemporaryDir &dir) { return regHas(dir, "\"Store Root\"="); }},
            {QStringLiteral("--no-shell-folders"),
             [&](const QTemporaryDir &dir) {
                 return regHas(dir, "\\\\Shell Folders]") && regHas(dir, "\\\\User Shell Folders]");
             }},
        };
        for (const Part &left : parts) {
            QTemporaryDir dir;
            QCOMPARE(runMaker({dir.path(), left.option}).exitCode, 0);
            for (const Part &part : parts)
                QVERIFY2(part.present(dir) == (&part != &left),
                         qPrintable(left.option + QStringLiteral(" / ") + part.option));
            // What the others need stays: accounts, the mail key, the environment.
            QVERIFY(QFileInfo(dir.filePath(store + QStringLiteral("/Work/Inbox"))).isDir());
            QVERIFY(QFileInfo(dir.filePath(store + QStringLiteral("/Work"))).isDir());
            QVERIFY(regHas(dir, "[Software\\\\Microsoft\\\\Windows Live Mail]"));
            QVERIFY(regHas(dir, "[Volatile Environment]"));
            QVERIFY(
                QFileInfo(dir.filePath(QStringLiteral("drive_c/users/anna/Documents"))).isDir());
        }
        QTemporaryDir dir;
        QCOMPARE(runMaker({dir.path(), QStringLiteral("--no-ldap")}).exitCode, 0);
        QCOMPARE(filesEndingIn(dir.filePath(store + QStringLiteral("/Work")),
                               QStringLiteral("oeaccount"))
                     .size(),
                 1);
    }

    void badCommandLinesAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")};
        QTest::newRow("no folder") << QStringList{};
        QTest::newRow("two folders") << QStringList{QStringLiteral("other")};
        QTest::newRow("word for a number")
            << QStringList{QStringLiteral("--accounts"), QStringLiteral("two")};
        QTest::newRow("negative count")
            << QStringList{QStringLiteral("--messages"), QStringLiteral("-1")};
        QTest::newRow("fractional count")
            << QStringList{QStringLiteral("--accounts"), QStringLiteral("1.5")};
        QTest::newRow("share above one")
            << QStringList{QStringLiteral("--attachments"), QStringLiteral("1.5")};
        QTest::newRow("empty attachment")
            << QStringList{QStringLiteral("--attachment-size"), QStringLiteral("0")};
        QTest::newRow("seed too large")
            << QStringList{QStringLiteral("--seed"), QStringLiteral("4294967296")};
        QTest::newRow("empty user") << QStringList{QStringLiteral("--user"), QString()};
        QTest::newRow("user with a slash")
            << QStringList{QStringLiteral("--user"), QStringLiteral("a/b")};
        QTest::newRow("user ending in a dot")
            << QStringList{QStringLiteral("--user"), QStringLiteral("anna.")};
        QTest::newRow("user going up")
            << QStringList{QStringLiteral("--user"), QStringLiteral("..")};
    }

    void badCommandLinesAreRefused()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("profile"));
        const Run run = runMaker(arguments.isEmpty() ? arguments : QStringList{target} + arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.startsWith(QLatin1String("quillory-make-profile: ")));
        QVERIFY(!QFileInfo::exists(target));
    }

    void unusableFoldersAreRefused()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("file")), "x"));
        QCOMPARE(runMaker({dir.filePath(QStringLiteral("file"))}).exitCode, 2);
        QCOMPARE(runMaker({dir.filePath(QStringLiteral("file/profile"))}).exitCode, 2);

        const Run refused = runMaker({dir.path()});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY(refused.err.contains(QLatin1String("--force")));
        QCOMPARE(filesBelow(dir.path()), QStringList{QStringLiteral("file")});

        QCOMPARE(runMaker({dir.path(), QStringLiteral("--force")}).exitCode, 0);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("file"))), QByteArray("x"));
        QVERIFY(QFileInfo(dir.filePath(store + QStringLiteral("/Work"))).isDir());
        // Once more over a whole profile.
        QCOMPARE(runMaker({dir.path(), QStringLiteral("--force")}).exitCode, 0);
    }

    void neverWritesThroughLinks()
    {
        QTemporaryDir dir, outside;
        const QString profile = dir.filePath(QStringLiteral("profile"));
        QCOMPARE(runMaker({profile}).exitCode, 0);

        const QString outsideFile = outside.filePath(QStringLiteral("precious"));
        QVERIFY(writeFile(outsideFile, "keep"));
        QVERIFY(QFile::remove(profile + QStringLiteral("/user.reg")));
        QVERIFY(QFile::link(outsideFile, profile + QStringLiteral("/user.reg")));
        QCOMPARE(runMaker({profile, QStringLiteral("--force")}).exitCode, 0);
        QCOMPARE(readFile(outsideFile), QByteArray("keep"));
        QVERIFY(!QFileInfo(profile + QStringLiteral("/user.reg")).isSymLink());

        // As in a real prefix, where Documents leads to the home folder.
        const QString documents = profile + QStringLiteral("/drive_c/users/anna/Documents");
        QVERIFY(QDir(documents).removeRecursively());
        QVERIFY(QFile::link(outside.path(), documents));
        const Run run = runMaker({profile, QStringLiteral("--force")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(documents), qPrintable(run.err));
        QCOMPARE(filesBelow(outside.path()), QStringList{QStringLiteral("precious")});
    }
};

QUILLORY_TEST(SampleProfileTest)
#include "tst_sampleprofile.moc"
