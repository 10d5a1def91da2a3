#include "scriptedrecorder.h"

namespace quillory::test {

ScriptedRecorder::ScriptedRecorder()
{
    connect(&m_real, &DiscWriter::DirectoryAdded, this, &DiscWriter::DirectoryAdded);
    connect(&m_real, &DiscWriter::DirectoryRemoved, this, &DiscWriter::DirectoryRemoved);
    connect(&m_real, &DiscWriter::DirectoryRenamed, this, &DiscWriter::DirectoryRenamed);
    connect(&m_real, &DiscWriter::FileListed, this, &DiscWriter::FileListed);
    connect(&m_real, &DiscWriter::ImageCleared, this, &DiscWriter::ImageCleared);
}

bool ScriptedRecorder::MoveTray(bool close)
{
    trays.append(close);
    return true;
}

bool ScriptedRecorder::StartWrite()
{
    writes.append({AutoVerify(), FinalizeDisc(), FixedWriteOption(), CacheImage(), TestWrite(),
                   DvdHighCompatibility(), BufferProtection(), JolietNames(), TrackMode(),
                   VolumeLabel()});
    return startResult;
}

} // namespace quillory::test
