#pragma once

#include <QString>

namespace quillory {

// How a run reports its progress: the window's progress panel, or a recorder in tests.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // The current step's text and the progress in percent (0 to 100). An empty step text moves
    // the progress and leaves the text as it was.
    virtual void progress(const QString &step, int percent) = 0;
};

// For runs nobody watches.
class SilentObserver final : public RunObserver {
public:
    void progress(const QString &, int) override {}
};

} // namespace quillory
