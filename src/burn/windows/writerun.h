#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>

namespace quillory {

struct BurnWindowContext;
class CompilationViews;
class DrivePanel;

// The burning window's writes: the compilation to a disc or an image file, an image file to a
// disc, importing the previous session, and what the writer reports while one runs. `setIdle`
// makes the window busy while a write runs and idle again after it.
class WriteRun : public QObject {
    Q_OBJECT

public:
    WriteRun(const BurnWindowContext &context, CompilationViews &views, DrivePanel &drives,
             std::function<void(bool)> setIdle, QObject *parent);

    void writeDisc();
    void cancel();
    void saveImage();
    void writeImage();
    void importSession();

private:
    void connectWriter();
    void showProgress(qint64 done, qint64 total);
    // The bar, and the status line with the speed and the time left.
    void showWriteProgress(qint64 done, qint64 total);

    // The disc writer's events.
    void writeCancelled();
    void writeError(int category, int driveCode, const QString &description,
                    const QString &senseData);
    void writeCompleted();
    void verifyProgress(const QString &discFile, const QString &sourceFile, int status, qint64 done,
                        qint64 total);
    void verifyCompleted(int compared, int matched);

    const BurnWindowContext &m_context;
    CompilationViews &m_views;
    DrivePanel &m_drives;
    std::function<void(bool)> m_setIdle;
    // Whether the writer's write events belong to an operation this window started.
    bool m_operating = false;
    // Whether the operation running was cancelled.
    bool m_cancelled = false;
    QElapsedTimer m_writeClock;
};

} // namespace quillory
