#include "help/windows/productlogo.h"

namespace quillory {

namespace {
const QString logoResource = QStringLiteral(":/quillory/icons/quillory.png");
}

QPixmap productLogo(const QSize &size)
{
    return QPixmap(logoResource).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QIcon productIcon()
{
    return QIcon(logoResource);
}

} // namespace quillory
