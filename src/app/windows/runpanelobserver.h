#pragma once

#include "platform/runobserver.h"

#include <QObject>
#include <QString>

namespace quillory {

// Carries a run's progress from its worker thread to the window as a queued signal.
class RunPanelObserver final : public QObject, public RunObserver {
    Q_OBJECT

public:
    using QObject::QObject;

    void progress(const QString &step, int percent) override;

Q_SIGNALS:
    void progressed(const QString &step, int percent);
};

} // namespace quillory
