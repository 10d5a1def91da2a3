#pragma once

#include "platform/wine/wineregistrystore.h"
#include "registry/modreg.h"
#include "support/testsupport.h"

#include <QTemporaryDir>

namespace quillory::test {

// A Wine prefix whose user.reg holds the given key sections, with the key routines on it.
struct TestRegistry {
    // The store reads user.reg when it is first used, after the constructor wrote it.
    explicit TestRegistry(const QByteArray &sections) : store(dir.path()), reg(store, dialogs)
    {
        writeFile(userReg(), "WINE REGISTRY Version 2\n\n#arch=win64\n\n" + sections);
    }

    QString userReg() const { return dir.filePath(QStringLiteral("user.reg")); }
    QString file(const char *name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
    WineRegistryStore store;
    ScriptedDialogs dialogs;
    modReg reg;
};

} // namespace quillory::test
