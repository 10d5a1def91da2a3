#pragma once

#include "app/programvalues.h"
#include "app/storediscovery.h"

#include <QString>

#include <memory>

namespace quillory {

class FreeSpaceQuery;
class RegistryStore;
class StagingFolder;
class UserDialogs;
class WinePaths;
class modReg;

// What one program run works on: the Wine prefix (its registry and drives), the user's dialogs,
// the program-wide values and the staging folder of the run in progress.
class ProgramContext {
public:
    ProgramContext(QString prefixPath, UserDialogs &dialogs);
    ~ProgramContext();

    const QString &prefixPath() const { return m_prefix; }
    UserDialogs &dialogs() const { return m_dialogs; }
    RegistryStore &registry() const { return *m_store; }
    modReg &reg() const { return *m_reg; }
    const WinePaths &paths() const { return *m_paths; }
    ProgramValues &values() { return m_values; }
    const ProgramValues &values() const { return m_values; }
    StoreLocations &store() { return m_locations; }
    const StoreLocations &store() const { return m_locations; }
    // The room left on the computer's file systems; a test may answer in its place, before
    // anything has asked.
    const FreeSpaceQuery &freeSpace() const { return *m_freeSpace; }
    void setFreeSpace(std::unique_ptr<FreeSpaceQuery> query);

    // The staging folder of the run in progress, made on first use (InfoFilePath lies in it).
    StagingFolder &staging();
    // Removes the staging folder and everything in it; the next run gets a new one.
    void endStaging();

private:
    QString m_prefix;
    UserDialogs &m_dialogs;
    std::unique_ptr<RegistryStore> m_store;
    std::unique_ptr<modReg> m_reg;
    std::unique_ptr<WinePaths> m_paths;
    std::unique_ptr<StagingFolder> m_staging;
    std::unique_ptr<FreeSpaceQuery> m_freeSpace;
    ProgramValues m_values;
    StoreLocations m_locations;
};

} // namespace quillory
