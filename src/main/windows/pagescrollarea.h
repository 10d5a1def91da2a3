#pragma once

#include <QScrollArea>

namespace quillory {

// A tab page that scrolls only where the screen is too small for it. A plain scroll area asks
// for a bounded size, so the window would open with scroll bars even on a large screen; this
// one asks for its whole page.
class PageScrollArea : public QScrollArea {
    Q_OBJECT

public:
    explicit PageScrollArea(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace quillory
