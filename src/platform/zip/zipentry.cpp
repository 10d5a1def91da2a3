#include "platform/zip/zipentry.h"

#include "platform/zip/ziparchive.h"

#include <utility>

namespace quillory {

ZipEntry::ZipEntry(ZipArchive *archive, quint64 index, QString name, quint64 generation)
    : m_archive(archive), m_index(index), m_name(std::move(name)), m_generation(generation)
{
}

quint64 ZipEntry::size() const
{
    return m_archive->declaredSize(m_index, m_generation);
}

Result ZipEntry::ExtractInto(const QString &folder) const
{
    return m_archive->extractEntry(m_index, m_generation, folder);
}

Expected<QByteArray> ZipEntry::read(quint64 maxBytes) const
{
    return m_archive->readEntry(m_index, m_generation, maxBytes);
}

} // namespace quillory
