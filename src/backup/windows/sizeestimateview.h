#pragma once

#include "app/itemtable.h"
#include "backup/archiveestimate.h"
#include "platform/freespace.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace quillory {

class ProgramContext;

// The line under the Backup tab's item boxes: about how large the archive of the ticked items
// will be, and the room where it goes. Estimates run off the window's thread, one at a time; a
// change while one runs starts the next when it ends, and only the estimate of what is shown now
// is shown.
class SizeEstimateView : public QObject {
    Q_OBJECT

public:
    SizeEstimateView(ProgramContext &context, QLabel *line, QList<QCheckBox *> items,
                     QCheckBox *protect, QLineEdit *target, QObject *parent);
    // Waits for the estimate under way: it reads the context.
    ~SizeEstimateView() override;

    // The estimate for the items and protection chosen now; nullopt while it is being made.
    std::optional<ArchiveEstimate> current() const;
    // Before a backup into `archivePath`: when the estimate for the choice is known and says it
    // will not fit there or in the temporary folder, asks whether to start all the same.
    // An estimate still being made never holds the backup up.
    bool roomAgreed(const QString &archivePath) const;

private:
    struct Choice {
        ItemFlags items{};
        bool protect = false;
        QString target;
        bool operator==(const Choice &) const = default;
    };
    struct Answer {
        Choice choice;
        ArchiveEstimate estimate;
        std::optional<FreeSpace> room;
    };

    Choice choice() const;
    void start();
    void finished();

    ProgramContext &m_context;
    QLabel *m_line;
    QList<QCheckBox *> m_items;
    QCheckBox *m_protect;
    // Ticking several boxes in a row makes one estimate.
    QTimer m_settle;
    QFutureWatcher<Answer> m_watcher;
    bool m_changedMeanwhile = false;
    std::optional<Answer> m_known;
};

} // namespace quillory
