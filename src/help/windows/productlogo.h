#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace quillory {

// The product's logo, built into the program so that no window depends on installed data.
QPixmap productLogo(const QSize &size);
QIcon productIcon();

} // namespace quillory
