#include "main/windows/pagescrollarea.h"

#include <QEvent>

namespace quillory {

PageScrollArea::PageScrollArea(QWidget *parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    // Not a stop of its own for the Tab key: the page scrolls to whichever control takes focus.
    setFocusPolicy(Qt::NoFocus);
    // The tab's pane shows through, as it did behind the page's controls.
    viewport()->setAutoFillBackground(false);
}

QSize PageScrollArea::sizeHint() const
{
    if (!widget())
        return QScrollArea::sizeHint();
    const int frame = 2 * frameWidth();
    return widget()->sizeHint() + QSize(frame, frame);
}

bool PageScrollArea::eventFilter(QObject *watched, QEvent *event)
{
    // The page lies in the viewport, outside any layout of the window: without this the window
    // would keep the page's size from before the skin set its fonts.
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}

} // namespace quillory
