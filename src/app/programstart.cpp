#include "app/programstart.h"

#include "app/programcontext.h"
#include "app/systemfacts.h"
#include "platform/userdialogs.h"

namespace quillory {

StoreStatus loadProgram(ProgramContext &context)
{
    ProgramValues &values = context.values();
    values.ComputerName = computerName();
    values.LogonUserName = logonUserName();
    context.store() = findStore(context.reg(), context.paths());
    switch (context.store().status) {
    case StoreStatus::MailClientMissing:
        context.dialogs().message(mailClientMissingText, applicationTitle(), MessageIcon::Error,
                                  MessageButtons::Ok);
        break;
    case StoreStatus::StoreBroken:
        context.dialogs().message(storeBrokenText, applicationTitle(), MessageIcon::Error,
                                  MessageButtons::Ok);
        break;
    case StoreStatus::Found:
        break;
    }
    return context.store().status;
}

} // namespace quillory
