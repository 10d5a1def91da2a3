#include "app/itemproblems.h"

#include "app/storediscovery.h"
#include "registry/modreg.h"

namespace quillory {

Result missingFolder(const QString &folder)
{
    return Result::failure(QStringLiteral("The folder %1 does not exist.").arg(folder));
}

Result noSuchItem(int index)
{
    return Result::failure(QStringLiteral("There is no item %1.").arg(index));
}

Result requireMailSettings(modReg &reg)
{
    if (reg.ListSubkeys(MailKeys::mail).isEmpty())
        return Result::failure(
            QStringLiteral("Windows Live Mail keeps no settings in the registry for this user."));
    return Result::success();
}

} // namespace quillory
