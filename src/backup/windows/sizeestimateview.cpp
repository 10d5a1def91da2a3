#include "backup/windows/sizeestimateview.h"

#include "app/programcontext.h"
#include "app/tempfile.h"
#include "backup/spacecheck.h"
#include "platform/userdialogs.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace quillory {

SizeEstimateView::SizeEstimateView(ProgramContext &context, QLabel *line, QList<QCheckBox *> items,
                                   QCheckBox *protect, QLineEdit *target, QObject *parent)
    : QObject(parent), m_context(context), m_line(line), m_items(std::move(items)),
      m_protect(protect)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(100);
    connect(&m_settle, &QTimer::timeout, this, &SizeEstimateView::start);
    for (QCheckBox *box : std::as_const(m_items))
        connect(box, &QCheckBox::toggled, &m_settle, qOverload<>(&QTimer::start));
    connect(m_protect, &QCheckBox::toggled, &m_settle, qOverload<>(&QTimer::start));
    connect(target, &QLineEdit::textChanged, &m_settle, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFutureWatcher<Answer>::finished, this, &SizeEstimateView::finished);
    m_settle.start();
}

SizeEstimateView::~SizeEstimateView()
{
    m_watcher.waitForFinished();
}

SizeEstimateView::Choice SizeEstimateView::choice() const
{
    Choice now;
    for (int i = 0; i < ItemCount; ++i)
        now.items[i] = m_items[i]->isChecked();
    now.protect = m_protect->isChecked();
    now.target = m_context.values().BackupFileName;
    return now;
}

std::optional<ArchiveEstimate> SizeEstimateView::current() const
{
    const Choice now = choice();
    if (!m_known || m_known->choice.items != now.items || m_known->choice.protect != now.protect)
        return std::nullopt;
    return m_known->estimate;
}

bool SizeEstimateView::roomAgreed(const QString &archivePath) const
{
    const std::optional<ArchiveEstimate> estimate = current();
    if (!estimate)
        return true;
    const QList<SpaceShortfall> shortfalls =
        spaceShortfalls(*estimate, archivePath, temporaryFolder(), m_context.freeSpace());
    if (shortfalls.isEmpty())
        return true;
    return m_context.dialogs().message(
               shortfallText(shortfalls) +
                   QStringLiteral("\r\n\r\nDo you want to start the backup all the same?"),
               applicationTitle(), MessageIcon::Warning,
               MessageButtons::YesNo) == MessageAnswer::Yes;
}

void SizeEstimateView::start()
{
    if (m_watcher.isRunning()) {
        m_changedMeanwhile = true;
        return;
    }
    const Choice now = choice();
    if (std::none_of(now.items.begin(), now.items.end(), [](bool tick) { return tick; })) {
        m_known.reset();
        m_line->clear();
        return;
    }
    const FreeSpaceQuery &space = m_context.freeSpace();
    m_watcher.setFuture(QtConcurrent::run([now, store = m_context.store(), &space] {
        Answer answer{now, estimateArchive(store, now.items, now.protect), std::nullopt};
        if (!now.target.isEmpty())
            answer.room = space.at(QFileInfo(now.target).absolutePath());
        return answer;
    }));
}

void SizeEstimateView::finished()
{
    if (m_changedMeanwhile) {
        m_changedMeanwhile = false;
        start();
        return;
    }
    m_known = m_watcher.result();
    m_line->setText(estimateLine(m_known->estimate.bytes, m_known->room));
}

} // namespace quillory
