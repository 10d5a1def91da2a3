#pragma once

#include "platform/runobserver.h"

#include <QElapsedTimer>
#include <QString>

namespace quillory {

// A run's progress as one line on a terminal, redrawn in place at most ten times a second to the
// terminal's width of the moment, and cleared when the run ends so that the report that follows
// stands alone. On anything but a terminal, and when not wanted, it draws nothing.
class ProgressLine final : public RunObserver {
public:
    // `fd` is the terminal's file descriptor; `firstStep` names the work until the run names it.
    ProgressLine(int fd, bool wanted, const QString &firstStep);
    ~ProgressLine() override;
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    // A negative `percent` says the run cannot tell how far it is: the line shows the time taken.
    void progress(const QString &step, int percent) override;
    void bytes(quint64 done, quint64 total) override;
    // Takes the line off the screen; a later report draws it anew.
    void clear();

private:
    void draw();
    void write(const QString &text);

    const int m_fd;
    const bool m_drawing;
    QString m_step;
    int m_percent = 0;
    // The current step's bytes, and where its rate is measured from.
    qint64 m_done = -1;
    qint64 m_total = -1;
    qint64 m_rateFromBytes = 0;
    qint64 m_rateFromTime = 0;
    // Where the run's pace is measured from: the first percent drawn.
    int m_startPercent = -1;
    qint64 m_startTime = 0;
    QElapsedTimer m_clock;
    qint64 m_drawnAt = -1;
    bool m_shown = false;
};

} // namespace quillory
