#pragma once

#include "platform/result.h"

#include <QString>
#include <QTemporaryDir>

namespace quillory {

// A run's private folder for the files it makes along the way (the backup information file,
// registry exports, nested archives, files taken out of an archive). Only its owner can enter
// it, and it disappears with the run, whatever the outcome. It lies in the temporary folder,
// named "quillory-PID-XXXXXX".
class StagingFolder {
public:
    StagingFolder();

    // What every staging folder's name starts with, before "PID-".
    static QString namePrefix();

    bool isValid() const { return m_dir.isValid(); }
    Result status() const;
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Removes the folder now rather than at destruction.
    bool remove() { return m_dir.remove(); }

private:
    QTemporaryDir m_dir;
};

} // namespace quillory
