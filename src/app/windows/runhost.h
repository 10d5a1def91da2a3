#pragma once

#include "platform/result.h"

#include <QString>

#include <functional>

class QWidget;

namespace quillory {

class ProgramContext;
class RunObserver;

// The window that runs the tabs' backups and restores: one run at a time, off the window's thread,
// its progress shown while it works.
class RunHost {
public:
    // The work of a run. It runs on a worker thread: it must not touch any window, and it tells
    // its progress only through the observer.
    using RunWork = std::function<Result(RunObserver &)>;
    // Called on the window's thread once the run has ended and the window is free again.
    using RunCompletion = std::function<void(const Result &)>;

    virtual ProgramContext &context() const = 0;
    // The window that parents the dialogs a tab opens.
    virtual QWidget &window() = 0;

    // Starts `work` with `what` as its first step. False, and nothing started, when a run is
    // already in progress or another program runs a backup or restore of the profile (the user is
    // told).
    virtual bool startRun(const QString &what, RunWork work, RunCompletion done = {}) = 0;
    virtual bool isRunning() const = 0;
    // The user closed the window during a run: it closes once the run has ended and reported.
    virtual bool closesWhenRunEnds() const = 0;

protected:
    ~RunHost() = default;
};

} // namespace quillory
