#pragma once

#include "platform/result.h"

#include <QByteArray>
#include <QString>

namespace quillory {

class ZipArchive;

// An entry found by `ZipArchive::FindEntry`; usable while that archive stays open.
class ZipEntry {
public:
    const QString &name() const { return m_name; }
    // The size of the entry's data, as the archive declares it: reading never yields more.
    quint64 size() const;
    // Writes the entry as folder + "/" + its name, replacing a file of that name, and has it on
    // disk before this returns. Only entries whose name is a plain file name are written.
    Result ExtractInto(const QString &folder) const;
    // The entry's data, when it holds no more than `maxBytes`; larger entries are refused
    // before anything is read.
    Expected<QByteArray> read(quint64 maxBytes) const;

private:
    friend class ZipArchive;
    ZipEntry(ZipArchive *archive, quint64 index, QString name, quint64 generation);

    ZipArchive *m_archive;
    quint64 m_index;
    QString m_name;
    quint64 m_generation;
};

} // namespace quillory
