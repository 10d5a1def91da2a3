#include "app/windows/runpanelobserver.h"

namespace quillory {

void RunPanelObserver::progress(const QString &step, int percent)
{
    Q_EMIT progressed(step, percent);
}

} // namespace quillory
