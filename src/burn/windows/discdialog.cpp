#include "burn/windows/discdialog.h"

#include "burn/errortexts.h"
#include "platform/disc/discwriter.h"

namespace quillory {

DiscDialog::DiscDialog(DiscWriter &writer, UserDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs), m_writer(writer)
{
}

DiscWriter &DiscDialog::lendWriter()
{
    mobjDVDPro = &m_writer;
    return m_writer;
}

void DiscDialog::applySkin()
{
    Skin1.load(Skin::windowSkinPath());
    Skin1.apply(this);
}

// Form_Unload.
void DiscDialog::done(int result)
{
    if (m_busy)
        return;
    if (mobjDVDPro)
        disconnect(mobjDVDPro, nullptr, this, nullptr);
    mobjDVDPro = nullptr;
    QDialog::done(result);
}

QString DiscDialog::WriteErrorMessage(int category, int driveCode, const QString &description,
                                      const QString &senseData)
{
    QString message =
        QStringLiteral("Writing Error: (%1)   ").arg(category) + description + QLatin1Char('\n');
    if (category == DiscWriter::ErrorDrive)
        message += DriveErrorText(driveCode) + QLatin1Char('\n') +
                   QStringLiteral(" Error Sense Data: ") + senseData;
    return message;
}

} // namespace quillory
