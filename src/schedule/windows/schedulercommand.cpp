#include "schedule/windows/schedulercommand.h"

#include "app/programcontext.h"
#include "app/windows/formcontrol.h"
#include "app/windows/runhost.h"
#include "schedule/windows/frmoption.h"

#include <QAction>
#include <QLineEdit>
#include <QWidget>

namespace quillory {

void attachScheduler(RunHost &host, JobScheduler &scheduler)
{
    QWidget &window = host.window();
    auto *command = window.findChild<QAction *>(QStringLiteral("TaskScheduler"));
    const auto *backup = window.findChild<QAction *>(QStringLiteral("backup"));
    Q_ASSERT(command && backup);
    // Offered whenever a backup could start, and not during a run: the dialog replaces and then
    // empties the archive name that the run may be using.
    command->setEnabled(backup->isEnabled());
    QObject::connect(backup, &QAction::enabledChanged, command, &QAction::setEnabled);
    QObject::connect(command, &QAction::triggered, &window, [&host, &scheduler] {
        {
            Frmoption dialog(host.context(), scheduler, &host.window());
            dialog.exec();
        }
        // Closing the dialog emptied the archive name that the Backup tab shares: its box must
        // not go on showing the old name.
        formControl<QLineEdit>(host.window(), "txtTargetFile")
            ->setText(host.context().values().BackupFileName);
    });
}

} // namespace quillory
