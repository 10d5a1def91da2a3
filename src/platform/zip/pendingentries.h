#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <ctime>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace quillory {
class EntryMaker;
}

namespace quillory::zipdetail {

// The entries added to an archive that is not written yet. An account of a quarter of a million
// messages is as many entries, all held until the archive is written, so they are kept compact:
// each name's UTF-8 bytes in one shared block, each folder they were found below once.
class PendingEntries {
public:
    struct Entry {
        qsizetype nameAt = 0;
        quint32 nameLength = 0;
        quint32 root = 0;
        bool folder = false;
        // What a folder's listing found; a `mode` of 0: looked up when the archive is written.
        mode_t mode = 0;
        quint64 size = 0;
        time_t modified = 0;
    };

    // A folder entries are found below, for `add`.
    quint32 addRoot(const QString &folder);
    // A folder's name ends with "/".
    void add(quint32 root, const QString &name, bool folder, quint64 size = 0, time_t modified = 0,
             mode_t mode = 0);
    // An entry whose bytes `maker` makes.
    void addMade(const QString &name, std::shared_ptr<EntryMaker> maker);

    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    const Entry &operator[](qsizetype index) const { return m_entries[size_t(index)]; }
    QByteArray nameBytes(qsizetype index) const;
    QString name(qsizetype index) const;
    const QString &root(qsizetype index) const;
    // The file or folder the entry is read from; a made entry's name.
    QString sourcePath(qsizetype index) const;
    std::shared_ptr<EntryMaker> maker(qsizetype index) const;
    const QHash<qsizetype, std::shared_ptr<EntryMaker>> &makers() const { return m_makers; }

    // The first entry of `other` whose name is here too.
    std::optional<qsizetype> sharedEntry(const PendingEntries &other) const;
    void append(PendingEntries &&other);
    // Gives back the room taken for growth.
    void squeeze();
    void clear();

private:
    QStringList m_roots;
    QByteArray m_names;
    std::vector<Entry> m_entries;
    QHash<qsizetype, std::shared_ptr<EntryMaker>> m_makers;
};

} // namespace quillory::zipdetail
