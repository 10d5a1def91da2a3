#include "platform/zip/ziparchive.h"

#include <zip.h>

namespace quillory {

ZipArchive::~ZipArchive()
{
    CloseArchive();
}

void ZipArchive::CloseArchive()
{
    if (m_zip)
        zip_discard(m_zip);
    m_zip = nullptr;
    m_openPath.clear();
    m_openPassword.clear();
    m_entryIndexes.clear();
    m_targetPath.clear();
    m_keepPreviousAs.clear();
    m_leftOut.clear();
    m_pending.clear();
    ++m_generation;
}

} // namespace quillory
