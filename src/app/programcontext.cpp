#include "app/programcontext.h"

#include "app/stagingfolder.h"
#include "platform/freespace.h"
#include "platform/wine/winepaths.h"
#include "platform/wine/wineregistrystore.h"
#include "registry/modreg.h"

namespace quillory {

ProgramContext::ProgramContext(QString prefixPath, UserDialogs &dialogs)
    : m_prefix(std::move(prefixPath)), m_dialogs(dialogs),
      m_store(std::make_unique<WineRegistryStore>(m_prefix)),
      m_reg(std::make_unique<modReg>(*m_store, m_dialogs)),
      m_paths(std::make_unique<WinePaths>(m_prefix)),
      m_freeSpace(std::make_unique<FileSystemSpace>())
{
}

ProgramContext::~ProgramContext() = default;

StagingFolder &ProgramContext::staging()
{
    if (!m_staging) {
        m_staging = std::make_unique<StagingFolder>();
        m_values.InfoFilePath = m_staging->filePath(QStringLiteral("krvstore.dat"));
    }
    return *m_staging;
}

void ProgramContext::setFreeSpace(std::unique_ptr<FreeSpaceQuery> query)
{
    m_freeSpace = std::move(query);
}

void ProgramContext::endStaging()
{
    m_staging.reset();
    m_values.InfoFilePath.clear();
}

} // namespace quillory
