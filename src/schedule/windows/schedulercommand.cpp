#include "schedule/windows/schedulercommand.h"

#include "main/windows/frmmain.h"
#include "schedule/windows/frmoption.h"

#include <QAction>

namespace quillory {

void attachScheduler(frmMain &window, JobScheduler &scheduler)
{
    auto *command = window.findChild<QAction *>(QStringLiteral("TaskScheduler"));
    const auto *backup = window.findChild<QAction *>(QStringLiteral("backup"));
    Q_ASSERT(command && backup);
    // Offered whenever a backup could start, and not during a run: the dialog replaces and then
    // empties the archive name that the run may be using.
    command->setEnabled(backup->isEnabled());
    QObject::connect(backup, &QAction::enabledChanged, command, &QAction::setEnabled);
    QObject::connect(command, &QAction::triggered, &window, [&window, &scheduler] {
        Frmoption dialog(window.context(), scheduler, &window);
        dialog.exec();
    });
}

} // namespace quillory
