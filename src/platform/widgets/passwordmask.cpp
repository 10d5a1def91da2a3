#include "platform/widgets/passwordmask.h"

#include "platform/heldsecrets.h"

#include <QLineEdit>

namespace quillory {

void maskWithStars(QLineEdit *box)
{
    box->setEchoMode(QLineEdit::Password);
    // The box's own sheet wins over the window's skin, which knows nothing of the mask.
    box->setStyleSheet(QStringLiteral("lineedit-password-character: %1").arg(int(u'*')));
    QObject::connect(box, &QLineEdit::textChanged, [](const QString &typed) {
        if (!typed.isEmpty())
            protectHeldSecrets();
    });
}

} // namespace quillory
