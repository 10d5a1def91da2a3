#include "sampleregistry.h"

#include "regfilebuilder.h"

namespace {

const QString mailKey = QStringLiteral("Software\\Microsoft\\Windows Live Mail");
const QString explorerKey =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
// About when Windows Live Mail 2009 was current.
constexpr std::int64_t writeTime = 1236000000;

// Rules and junk-mail lists keep their texts as UTF-16 inside binary values.
QByteArray utf16Bytes(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), (text.size() + 1) * 2);
}

QByteArray ruleData(quint8 kind, const QString &text)
{
    return QByteArray::fromHex("0100000002000000") + char(kind) + QByteArray(3, '\0') +
           utf16Bytes(text);
}

void addRules(RegFileBuilder &reg)
{
    const QString mail = mailKey + QStringLiteral("\\Rules\\Mail");
    reg.addString(mail, QStringLiteral("Order"), QStringLiteral("000 001"));
    reg.addString(mail + QStringLiteral("\\000"), QStringLiteral("Name"),
                  QStringLiteral("Move newsletters"));
    reg.addDword(mail + QStringLiteral("\\000"), QStringLiteral("Enabled"), 1);
    reg.addDword(mail + QStringLiteral("\\000"), QStringLiteral("Version"), 3);
    reg.addBinary(mail + QStringLiteral("\\000"), QStringLiteral("Criteria"),
                  ruleData(0x12, QStringLiteral("newsletter@lists.example.com")));
    reg.addBinary(mail + QStringLiteral("\\000"), QStringLiteral("Actions"),
                  ruleData(0x04, QStringLiteral("Inbox\\Newsletters")));
    reg.addMultiString(mail + QStringLiteral("\\000"), QStringLiteral("Conditions"),
                       {QStringLiteral("From contains newsletter"),
                        QStringLiteral("Subject contains \"Digest\"")});
    reg.addString(mail + QStringLiteral("\\001"), QStringLiteral("Name"),
                  QStringLiteral("Flag the boss"));
    reg.addDword(mail + QStringLiteral("\\001"), QStringLiteral("Enabled"), 0);
    reg.addBinary(mail + QStringLiteral("\\001"), QStringLiteral("Criteria"),
                  ruleData(0x11, QStringLiteral("boss@work.example.com")));
    reg.addBinary(mail + QStringLiteral("\\001"), QStringLiteral("Actions"),
                  QByteArray::fromHex("0800000001000000"));

    const QString news = mailKey + QStringLiteral("\\Rules\\News");
    reg.addString(news, QStringLiteral("Order"), QStringLiteral("000"));
    reg.addString(news + QStringLiteral("\\000"), QString(), QString());
    reg.addString(news + QStringLiteral("\\000"), QStringLiteral("Name"),
                  QStringLiteral("Hide old posts"));
    reg.addDword(news + QStringLiteral("\\000"), QStringLiteral("Enabled"), 1);
    reg.addBinary(news + QStringLiteral("\\000"), QStringLiteral("Criteria"),
                  ruleData(0x21, QStringLiteral("older than 30 days")));
}

void addMailSettings(RegFileBuilder &reg, const SampleOptions &options,
                     const QList<SampleAccount> &accounts, const QStringList &ldapFiles)
{
    if (options.mailClient)
        reg.addExpandString(mailKey, QStringLiteral("Store Root"),
                            QStringLiteral("%LOCALAPPDATA%\\Microsoft\\Windows Live Mail"));
    reg.addDword(mailKey, QStringLiteral("Settings Upgraded"), 6);
    // Backwards, so that the first account of each kind is left as the default.
    for (auto account = accounts.crbegin(); account != accounts.crend(); ++account)
        reg.addString(mailKey,
                      account->news ? QStringLiteral("Default News Account")
                                    : QStringLiteral("Default Mail Account"),
                      account->fileName);
    if (!ldapFiles.isEmpty())
        reg.addString(mailKey, QStringLiteral("Default LDAP Account"), ldapFiles.first());

    const QString signatures = mailKey + QStringLiteral("\\signatures");
    reg.addString(signatures, QStringLiteral("Default Signature"), QStringLiteral("00000000"));
    reg.addString(signatures + QStringLiteral("\\00000000"), QStringLiteral("name"),
                  QStringLiteral("Signature #1"));
    reg.addString(signatures + QStringLiteral("\\00000000"), QStringLiteral("text"),
                  QStringLiteral("Best regards,\r\n%1\r\nExample Ltd. \u2013 Gr\u00fc\u00dfe "
                                 "aus Z\u00fcrich\r\n")
                      .arg(options.user));
    reg.addDword(signatures + QStringLiteral("\\00000000"), QStringLiteral("type"), 1);

    const QString junk = mailKey + QStringLiteral("\\PerPassportSettings\\0003bffd9c8a2d41");
    reg.addDword(junk, QStringLiteral("Junk Mail Security Level"), 1);
    reg.addDword(junk, QStringLiteral("Junk Mail Delete"), 0);
    reg.addBinary(junk, QStringLiteral("Junk Mail Safe Senders"),
                  utf16Bytes(QStringLiteral("friend@example.net;example.org")));
    reg.addBinary(junk, QStringLiteral("Junk Mail Blocked Senders"), QByteArray());
    reg.addQword(junk, QStringLiteral("Junk Mail Last Update"), 0x01c99c2e3a2b4c50ULL);

    const QString advanced = mailKey + QStringLiteral("\\Advanced Settings");
    reg.addString(advanced, QString(), QString());
    reg.addString(advanced, QStringLiteral("Compose Font"), QStringLiteral("Calibri,10"));
    reg.addString(advanced, QStringLiteral("Layout=Classic"), QStringLiteral("1"));
    reg.addString(advanced, QStringLiteral("Greeting"),
                  QStringLiteral("Gr\u00fc\u00dfe \u2013 \u041f\u0440\u0438\u0432\u0435\u0442 "
                                 "\u2013 \u65e5\u672c\u8a9e \u2013 \u20ac"));
    reg.addDword(advanced, QStringLiteral("Read Receipt"), 0);
    reg.addMultiString(advanced, QStringLiteral("Recent Folders"),
                       {QStringLiteral("Inbox"), QStringLiteral("Sent Items")});
    reg.addBinary(advanced, QStringLiteral("Window Position"),
                  QByteArray::fromHex("2c0000000000000001000000ffffffffffffffff"
                                      "0a0000000a000000fa020000e2010000"));
}

void addShellFolders(RegFileBuilder &reg, const QString &user)
{
    const QString profile = QStringLiteral("C:\\users\\") + user;
    const QList<std::pair<QString, QString>> folders = {
        {QStringLiteral("AppData"), QStringLiteral("\\AppData\\Roaming")},
        {QStringLiteral("Desktop"), QStringLiteral("\\Desktop")},
        {QStringLiteral("Local AppData"), QStringLiteral("\\AppData\\Local")},
        {QStringLiteral("My Music"), QStringLiteral("\\Music")},
        {QStringLiteral("My Pictures"), QStringLiteral("\\Pictures")},
        {QStringLiteral("Personal"), QStringLiteral("\\Documents")},
    };
    for (const auto &[name, below] : folders) {
        reg.addString(explorerKey + QStringLiteral("\\Shell Folders"), name, profile + below);
        reg.addExpandString(explorerKey + QStringLiteral("\\User Shell Folders"), name,
                            QStringLiteral("%USERPROFILE%") + below);
    }
}

} // namespace

namespace SampleRegistry {

QByteArray userReg(const SampleOptions &options, const QList<SampleAccount> &accounts,
                   const QStringList &ldapFiles)
{
    RegFileBuilder reg(QStringLiteral("REGISTRY\\User\\S-1-5-21-0-0-0-1000"));
    const QString profile = QStringLiteral("C:\\users\\") + options.user;

    reg.addString(QStringLiteral("Control Panel\\International"), QStringLiteral("Locale"),
                  QStringLiteral("00000409"));
    reg.addString(QStringLiteral("Control Panel\\International"), QStringLiteral("sCountry"),
                  QStringLiteral("United States"));
    reg.addExpandString(QStringLiteral("Environment"), QStringLiteral("TEMP"),
                        QStringLiteral("%USERPROFILE%\\AppData\\Local\\Temp"));
    reg.addExpandString(QStringLiteral("Environment"), QStringLiteral("TMP"),
                        QStringLiteral("%USERPROFILE%\\AppData\\Local\\Temp"));
    addMailSettings(reg, options, accounts, ldapFiles);
    if (options.rules)
        addRules(reg);
    reg.addKey(explorerKey + QStringLiteral("\\Advanced"));
    if (options.shellFolders)
        addShellFolders(reg, options.user);
    reg.addString(QStringLiteral("Volatile Environment"), QStringLiteral("APPDATA"),
                  profile + QStringLiteral("\\AppData\\Roaming"));
    reg.addString(QStringLiteral("Volatile Environment"), QStringLiteral("LOCALAPPDATA"),
                  profile + QStringLiteral("\\AppData\\Local"));
    reg.addString(QStringLiteral("Volatile Environment"), QStringLiteral("USERNAME"), options.user);
    reg.addString(QStringLiteral("Volatile Environment"), QStringLiteral("USERPROFILE"), profile);
    return reg.text(writeTime);
}

QByteArray systemReg()
{
    RegFileBuilder reg(QStringLiteral("REGISTRY\\Machine"));
    const QString version = QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion");
    reg.addString(version, QStringLiteral("CurrentVersion"), QStringLiteral("6.1"));
    reg.addString(version, QStringLiteral("ProductName"), QStringLiteral("Microsoft Windows 7"));
    reg.addString(version, QStringLiteral("SystemRoot"), QStringLiteral("C:\\windows"));
    reg.addString(QStringLiteral("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"),
                  QStringLiteral("ComputerName"), QStringLiteral("SAMPLE-PC"));
    return reg.text(writeTime);
}

} // namespace SampleRegistry
