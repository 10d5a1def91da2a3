#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// Composes a registry file as wineserver saves one (user.reg, system.reg), so that the sample
// profile looks to every reader like a prefix Wine has written.
class RegFileBuilder {
public:
    // `branchRoot` is the key the file's paths are relative to, e.g. REGISTRY\User\S-1-5-21-...
    explicit RegFileBuilder(QString branchRoot);

    // Key paths use single backslashes; an empty value name is the key's default value.
    void addKey(const QString &key);
    void addString(const QString &key, const QString &name, const QString &text);
    void addExpandString(const QString &key, const QString &name, const QString &text);
    void addMultiString(const QString &key, const QString &name, const QStringList &items);
    void addDword(const QString &key, const QString &name, std::uint32_t number);
    void addQword(const QString &key, const QString &name, std::uint64_t number);
    void addBinary(const QString &key, const QString &name, const QByteArray &bytes);

    // Every key carries the same last-write time, given in seconds since 1970.
    QByteArray text(std::int64_t writeTime) const;

private:
    struct Key {
        QStringList components;
        QList<std::pair<QString, QByteArray>> values; // name, written data
    };

    Key &key(const QString &path);
    void add(const QString &key, const QString &name, QByteArray data);

    QString m_branchRoot;
    QList<Key> m_keys;
};
