#pragma once

#include <QString>

#include <cstdint>

// What a sample profile holds and how much of it.
struct SampleOptions {
    int accounts = 3;
    int messagesPerAccount = 3;
    // Of the first account, when not negative: one account far larger than the others.
    int firstAccountMessages = -1;
    qint64 messageSize = 600;
    double attachmentShare = 0; // of the messages, each carrying attachmentSize random bytes
    qint64 attachmentSize = 32 * 1024;
    QString user = QStringLiteral("anna");
    std::uint32_t seed = 1;
    bool ldap = true;
    bool contacts = true;
    bool stationery = true;
    bool rules = true;
    bool mailClient = true; // the store marker in the registry
    bool shellFolders = true;
};

// One mail or news account of the profile: its folder in the store and its account file.
struct SampleAccount {
    QString name;
    QString fileName;
    QString domain;
    bool news = false;
};
