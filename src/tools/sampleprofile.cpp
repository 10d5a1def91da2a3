#include "sampleprofile.h"

#include "sampleregistry.h"

#include <QTimeZone>

using quillory::Result;

namespace {

const QString contact = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                       "<c:contact c:Version=\"1\" "
                                       "xmlns:c=\"http://schemas.microsoft.com/Contact\">\r\n"
                                       "<c:NameCollection><c:Name><c:FormattedName>%1"
                                       "</c:FormattedName></c:Name></c:NameCollection>\r\n"
                                       "<c:EmailAddressCollection><c:EmailAddress><c:Address>%2"
                                       "</c:Address></c:EmailAddress></c:EmailAddressCollection>"
                                       "\r\n</c:contact>\r\n");

QByteArray accountFile(const QString &name, const QList<std::pair<QString, QString>> &fields)
{
    QString xml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<MessageAccount>\r\n"
                       "\t<Account_Name type=\"SZ\">%1</Account_Name>\r\n")
            .arg(name.toHtmlEscaped());
    for (const auto &[field, value] : fields)
        xml += QStringLiteral("\t<%1 type=\"SZ\">%2</%1>\r\n").arg(field, value.toHtmlEscaped());
    return (xml + QStringLiteral("</MessageAccount>\r\n")).toUtf8();
}

SampleAccount sampleAccount(int index)
{
    switch (index) {
    case 0:
        return {QStringLiteral("Work"), QString(), QStringLiteral("work.example.com"), false};
    case 1:
        return {QStringLiteral("Home"), QString(), QStringLiteral("home.example.net"), false};
    case 2:
        return {QStringLiteral("news.example.com"), QString(), QStringLiteral("example.com"), true};
    default:
        return {QStringLiteral("Account %1").arg(index + 1), QString(),
                QStringLiteral("mail%1.example.org").arg(index + 1), false};
    }
}

} // namespace

SampleProfile::SampleProfile(const SampleOptions &options, ProfileFolder &folder)
    : m_options(options), m_folder(folder), m_random(options.seed), m_writer(m_random),
      m_userFolder(QStringLiteral("drive_c/users/") + options.user),
      m_store(m_userFolder + QStringLiteral("/AppData/Local/Microsoft/Windows Live Mail")),
      m_owner(QStringLiteral("\"%1\" <%2@work.example.com>")
                  .arg(options.user.left(1).toUpper() + options.user.mid(1), options.user))
{
}

Result SampleProfile::make()
{
    const QList<std::function<Result()>> steps = {
        [&] {
            return m_folder.makeLink(QStringLiteral("dosdevices/c:"), QStringLiteral("../drive_c"));
        },
        [&] { return m_folder.makeLink(QStringLiteral("dosdevices/z:"), QStringLiteral("/")); },
        [&] { return m_folder.makeFolder(m_userFolder + QStringLiteral("/AppData/Roaming")); },
        [&] { return m_folder.makeFolder(m_userFolder + QStringLiteral("/Documents")); },
        [&] { return m_folder.makeFolder(m_store); },
        [&] {
            for (int i = 0; i < m_options.accounts; ++i) {
                SampleAccount account = sampleAccount(i);
                account.fileName = QStringLiteral("account%1.oeaccount").arg(guid());
                m_accounts.append(account);
                if (Result made = makeAccount(account); !made)
                    return made;
            }
            return Result::success();
        },
        [&] { return makeSkippedFolders(); },
        [&] { return m_options.contacts ? makeContacts() : Result::success(); },
        [&] { return m_options.ldap ? makeDirectoryAccounts() : Result::success(); },
        [&] { return makeDatabase(); },
        [&] { return m_options.stationery ? makeStationery() : Result::success(); },
        [&] {
            return m_folder.writeFile(
                QStringLiteral("user.reg"),
                SampleRegistry::userReg(m_options, m_accounts, m_directoryAccounts));
        },
        [&] {
            return m_folder.writeFile(QStringLiteral("system.reg"), SampleRegistry::systemReg());
        },
    };
    for (const auto &step : steps)
        if (Result done = step(); !done)
            return done;
    return Result::success();
}

Result SampleProfile::makeAccount(const SampleAccount &account)
{
    const QString folder = m_store + QLatin1Char('/') + account.name;
    const QStringList messageFolders =
        account.news ? QStringList{QStringLiteral("alt.test"), QStringLiteral("comp.mail.misc")}
                     : QStringList{QStringLiteral("Inbox"), QStringLiteral("Sent Items"),
                                   QStringLiteral("Deleted Items")};
    const QString server =
        (account.news ? QStringLiteral("NNTP_Server") : QStringLiteral("POP3_Server"));
    Result done = m_folder.writeFile(
        folder + QLatin1Char('/') + account.fileName,
        accountFile(account.name,
                    {{server, (account.news ? QStringLiteral("news.") : QStringLiteral("pop.")) +
                                  account.domain},
                     {QStringLiteral("SMTP_Email_Address"),
                      m_options.user + QLatin1Char('@') + account.domain}}));
    if (!done)
        return done;
    if (!account.news) {
        if (Result made = m_folder.makeFolder(folder + QStringLiteral("/Junk E-mail")); !made)
            return made;
    }
    const QString correspondent = QStringLiteral("\"Bob Example\" <bob@example.net>");
    const int messages = m_accounts.size() == 1 && m_options.firstAccountMessages >= 0
                             ? m_options.firstAccountMessages
                             : m_options.messagesPerAccount;
    for (int i = 0; i < messages; ++i) {
        const QString &messageFolder = messageFolders.at(i % messageFolders.size());
        const bool sent = messageFolder == QLatin1String("Sent Items");
        const bool attached =
            m_options.attachmentShare >= 1 || m_random.generateDouble() < m_options.attachmentShare;
        const QString to = account.news ? messageFolder : sent ? correspondent : m_owner;
        done = writeMessage(folder + QLatin1Char('/') + messageFolder + QLatin1Char('/') + guid() +
                                QStringLiteral(".eml"),
                            sent ? m_owner : correspondent, to, account.domain,
                            attached ? m_options.attachmentSize : 0);
        if (!done)
            return done;
        ++m_messageCount;
    }
    return Result::success();
}

Result SampleProfile::writeMessage(const QString &relative, const QString &from, const QString &to,
                                   const QString &domain, qint64 attachmentSize)
{
    MessageWriter::Message message;
    message.from = from;
    message.to = to;
    message.domain = domain;
    message.date = QDateTime(QDate(2009, 3, 2), QTime(9, 0), QTimeZone::utc())
                       .addSecs(qint64(m_written) * 37 * 60);
    message.size = m_options.messageSize;
    message.attachmentSize = attachmentSize;
    message.number = ++m_written;
    return m_folder.writeFile(relative,
                              [&](QIODevice &out) { return m_writer.write(out, message); });
}

// Folders the mail client keeps next to the accounts, each with a little content.
Result SampleProfile::makeSkippedFolders()
{
    const QString correspondent = QStringLiteral("\"Feeds\" <feeds@example.com>");
    const QList<std::function<Result()>> steps = {
        [&] {
            return writeBinary(m_store + QStringLiteral("/Backup/new/Mail.MSMessageStore"), 8192);
        },
        [&] { return writeBinary(m_store + QStringLiteral("/Backup/new/edb.chk"), 2048); },
        [&] {
            return writeMessage(m_store + QStringLiteral("/Your Feeds/Sample Feed/") + guid() +
                                    QStringLiteral(".eml"),
                                correspondent, m_owner, QStringLiteral("example.com"), 0);
        },
        [&] {
            return writeBinary(
                m_store + QStringLiteral("/Sentinel/") + guid() + QStringLiteral(".dat"), 512);
        },
        [&] {
            return writeMessage(m_store + QStringLiteral("/Storage Folders/Inbox/") + guid() +
                                    QStringLiteral(".eml"),
                                correspondent, m_owner, QStringLiteral("example.com"), 0);
        },
        [&] { return m_folder.makeFolder(m_store + QStringLiteral("/Storage Folders/Drafts")); },
    };
    for (const auto &step : steps)
        if (Result done = step(); !done)
            return done;
    return Result::success();
}

Result SampleProfile::makeContacts()
{
    const QString folder = m_store + QStringLiteral("/Contacts/Default/");
    const QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("Bob Example.contact"),
         contact.arg(QStringLiteral("Bob Example"), QStringLiteral("bob@example.net")).toUtf8()},
        {QStringLiteral("J\u00f6rg M\u00fcller.contact"),
         contact.arg(QStringLiteral("J\u00f6rg M\u00fcller"), QStringLiteral("joerg@example.de"))
             .toUtf8()},
        {QStringLiteral("Family.group"), contact.arg(QStringLiteral("Family"), QString()).toUtf8()},
        {QStringLiteral("Team.GROUP"), contact.arg(QStringLiteral("Team"), QString()).toUtf8()},
        {QStringLiteral("notes.txt"), QByteArray("Not a contact: no backup takes this file.\r\n")},
    };
    for (const auto &[name, bytes] : files)
        if (Result done = m_folder.writeFile(folder + name, bytes); !done)
            return done;
    return Result::success();
}

// Directory (LDAP) accounts lie in the store folder itself.
Result SampleProfile::makeDirectoryAccounts()
{
    const QList<std::pair<QString, QString>> directories = {
        {QStringLiteral("Active Directory"), QString()},
        {QStringLiteral("VeriSign Internet Directory Service"),
         QStringLiteral("directory.verisign.com")}};
    for (const auto &[name, server] : directories) {
        const QString fileName = QStringLiteral("account%1.oeaccount").arg(guid());
        m_directoryAccounts.append(fileName);
        const Result done =
            m_folder.writeFile(m_store + QLatin1Char('/') + fileName,
                               accountFile(name, {{QStringLiteral("LDAP_Server"), server}}));
        if (!done)
            return done;
    }
    return Result::success();
}

Result SampleProfile::makeDatabase()
{
    const QList<std::pair<QString, qint64>> files = {
        {QStringLiteral("Mail.MSMessageStore"), 4096 + qint64(m_messageCount) * 512},
        {QStringLiteral("WindowsMail.MSMessageStore"), 4096},
        {QStringLiteral("edb.chk"), 2048},
        {QStringLiteral("edb.log"), 4096}};
    for (const auto &[name, size] : files)
        if (Result done = writeBinary(m_store + QLatin1Char('/') + name, size); !done)
            return done;
    return Result::success();
}

Result SampleProfile::makeStationery()
{
    const QString folder = m_userFolder + QStringLiteral("/Documents/My Stationery/");
    const QByteArray page = "<html><head><meta charset=\"utf-8\"></head>\r\n"
                            "<body background=\"Leaves.jpg\"><p>%1</p></body></html>\r\n";
    Result done = m_folder.writeFile(folder + QStringLiteral("Leaves.htm"),
                                     QByteArray(page).replace("%1", "Autumn leaves"));
    if (done)
        done = m_folder.writeFile(folder + QStringLiteral("Gr\u00fc\u00dfe.htm"),
                                  QByteArray(page).replace("%1", "Gr\xc3\xbc\xc3\x9f"
                                                                 "e"));
    if (done)
        done = writeBinary(folder + QStringLiteral("Leaves.jpg"), 3072);
    return done;
}

// Pages that begin with random bytes and end in zeros, as database and image files do.
Result SampleProfile::writeBinary(const QString &relative, qint64 size)
{
    constexpr qsizetype pageSize = 4096;
    constexpr qsizetype filledPart = 512;
    return m_folder.writeFile(relative, [&](QIODevice &out) {
        QByteArray page(pageSize, '\0');
        for (qint64 left = size; left > 0; left -= pageSize) {
            m_random.fillRange(reinterpret_cast<quint32 *>(page.data()), filledPart / 4);
            const qsizetype length = qsizetype(std::min<qint64>(left, pageSize));
            if (out.write(page.constData(), length) != length)
                return false;
        }
        return true;
    });
}

QString SampleProfile::guid()
{
    const quint64 high = m_random.generate64();
    const quint64 low = m_random.generate64();
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(high >> 32, 8, 16, QLatin1Char('0'))
        .arg((high >> 16) & 0xffff, 4, 16, QLatin1Char('0'))
        .arg(high & 0xffff, 4, 16, QLatin1Char('0'))
        .arg(low >> 48, 4, 16, QLatin1Char('0'))
        .arg(low & 0xffffffffffffULL, 12, 16, QLatin1Char('0'))
        .toUpper();
}
