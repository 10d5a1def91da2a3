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
    // Where the current step counts its work in bytes: how many are done, of how many. The
    // percent stays the measure of the whole run; a terminal shows these beside it.
    virtual void bytes(quint64 done, quint64 total)
    {
        Q_UNUSED(done);
        Q_UNUSED(total);
    }
};

// For runs nobody watches.
class SilentObserver final : public RunObserver {
public:
    void progress(const QString &, int) override {}
};

} // namespace quillory
