#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

class ZipArchive;

// An entry found by `ZipArchive::FindEntry`; usable while that archive stays open.
class ZipEntry {
public:
    const QString &name() const { return m_name; }
    // Writes the entry as folder + "/" + its name, replacing a file of that name, and has it on
    // disk before this returns. Only entries whose name is a plain file name are written.
    Result ExtractInto(const QString &folder) const;

private:
    friend class ZipArchive;
    ZipEntry(ZipArchive *archive, quint64 index, QString name, quint64 generation);

    ZipArchive *m_archive;
    quint64 m_index;
    QString m_name;
    quint64 m_generation;
};

} // namespace quillory
