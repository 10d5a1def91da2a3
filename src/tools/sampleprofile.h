#pragma once

#include "messagewriter.h"
#include "profilefolder.h"
#include "sampleoptions.h"

#include "platform/result.h"

#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QString>

// A Wine prefix holding the Windows Live Mail data of one user: the drive links, the mail
// store with its accounts, the folders a backup leaves alone, contacts, directory accounts,
// the database, the stationery, and the registry files that point at them.
class SampleProfile {
public:
    SampleProfile(const SampleOptions &options, ProfileFolder &folder);

    quillory::Result make();
    int accountCount() const { return int(m_accounts.size()); }
    int messageCount() const { return m_messageCount; }

private:
    quillory::Result makeAccount(const SampleAccount &account);
    quillory::Result makeSkippedFolders();
    quillory::Result makeContacts();
    quillory::Result makeDirectoryAccounts();
    quillory::Result makeDatabase();
    quillory::Result makeStationery();
    quillory::Result writeMessage(const QString &relative, const QString &from, const QString &to,
                                  const QString &domain, qint64 attachmentSize);
    quillory::Result writeBinary(const QString &relative, qint64 size);
    QString guid();

    const SampleOptions &m_options;
    ProfileFolder &m_folder;
    QRandomGenerator m_random;
    MessageWriter m_writer;
    QString m_userFolder;
    QString m_store;
    QString m_owner; // "Name" <address> of the profile's user
    QList<SampleAccount> m_accounts;
    QStringList m_directoryAccounts;
    int m_messageCount = 0;
    int m_written = 0;
};
