#include "burn/windows/frmerase.h"

#include "ui_frmerase.h"

#include "platform/disc/discwriter.h"
#include "platform/userdialogs.h"

#include <QMap>

namespace quillory {

namespace {

// The re-writable media, each with the drive capability it needs.
const QMap<int, int> &rewritableMedia()
{
    static const QMap<int, int> media{
        {DiscWriter::MediaCdRw, DiscWriter::SupportsCdRw},
        {DiscWriter::MediaDvdRw, DiscWriter::SupportsDvdRw},
        {DiscWriter::MediaDvdRam, DiscWriter::SupportsDvdRam},
        {DiscWriter::MediaDvdPlusRw, DiscWriter::SupportsDvdPlusRw},
    };
    return media;
}

QString mediumName(int media)
{
    static const QMap<int, QString> names{
        {DiscWriter::MediaCdRw, QStringLiteral("CD-RW")},
        {DiscWriter::MediaDvdRw, QStringLiteral("DVD-RW")},
        {DiscWriter::MediaDvdRam, QStringLiteral("DVD-RAM")},
        {DiscWriter::MediaDvdPlusRw, QStringLiteral("DVD+RW")},
    };
    return names.value(media, QStringLiteral("disc"));
}

} // namespace

frmErase::frmErase(DiscWriter &writer, UserDialogs &dialogs, QWidget *parent)
    : DiscDialog(writer, dialogs, parent), ui(std::make_unique<Ui::frmErase>())
{
    ui->setupUi(this);
    connect(ui->cmdErase, &QPushButton::clicked, this, &frmErase::cmdErase_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmErase::cmdCancel_Click);
}

frmErase::~frmErase() = default;

int frmErase::ShowErase()
{
    lendWriter();
    connect(mobjDVDPro, &DiscWriter::EraseStarted, this, &frmErase::mobjDVDPro_EraseStarted);
    connect(mobjDVDPro, &DiscWriter::EraseCompleted, this, &frmErase::mobjDVDPro_EraseCompleted);
    connect(mobjDVDPro, &DiscWriter::WriteError, this, &frmErase::mobjDVDPro_WriteError);
    setButtonsEnabled(true);
    m_busy = false;
    Form_Load();
    return QDialog::exec();
}

int frmErase::exec()
{
    return ShowErase();
}

void frmErase::Form_Load()
{
    applySkin();
    ui->lblStatus->setText(QStringLiteral("Erases the %1 in %2.")
                               .arg(mediumName(mobjDVDPro->MediaType()), m_driveName));
}

void frmErase::cmdErase_Click()
{
    const int media = mobjDVDPro->MediaType();
    if (media == DiscWriter::MediaNone)
        return refuse(QStringLiteral("No Media Loaded."), MessageIcon::Information);
    const auto capability = rewritableMedia().constFind(media);
    if (capability == rewritableMedia().cend())
        return refuse(QStringLiteral("The current media is not Re-Writable."),
                      MessageIcon::Information);
    if (!mobjDVDPro->DriveSupports(*capability))
        return refuse(
            QStringLiteral("Selected drive does not support Re-Writable discs of this format."),
            MessageIcon::Information);
    const bool quick = ui->chkQuikErase->isChecked();
    // A full erase overwrites every block and cannot be stopped: one more look at what goes.
    if (!quick &&
        m_dialogs.message(QStringLiteral("Erase everything on the %1 in %2?\nA full erase cannot "
                                         "be stopped, and what the disc holds is gone for good.")
                              .arg(mediumName(media), m_driveName),
                          applicationTitle(), MessageIcon::Warning,
                          MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    if (!mobjDVDPro->EraseDisc(quick)) {
        m_dialogs.message(QStringLiteral("Error Erasing Disc!!!"), applicationTitle(),
                          MessageIcon::Error, MessageButtons::Ok, mobjDVDPro->LastError());
        reject();
        return;
    }
    // The erase runs from here on, though its start is reported a moment later: a second click
    // or a close meanwhile would report a running erase as failed or leave it unwatched.
    m_busy = true;
    setButtonsEnabled(false);
}

void frmErase::refuse(const QString &text, MessageIcon icon)
{
    m_dialogs.message(text, applicationTitle(), icon);
    reject();
}

void frmErase::cmdCancel_Click()
{
    reject();
}

void frmErase::setButtonsEnabled(bool on)
{
    ui->cmdErase->setEnabled(on);
    ui->cmdCancel->setEnabled(on);
}

void frmErase::mobjDVDPro_EraseStarted()
{
    m_busy = true;
    ui->lblStatus->setText(QStringLiteral("Erasing Disc...Please Wait!!"));
    setButtonsEnabled(false);
}

void frmErase::mobjDVDPro_EraseCompleted()
{
    ui->lblStatus->setText(QStringLiteral("Erase operation complete!!!"));
    m_dialogs.message(QStringLiteral("Erase Completed!!!"), applicationTitle(),
                      MessageIcon::Information);
    setButtonsEnabled(true);
    m_busy = false;
    accept();
}

void frmErase::mobjDVDPro_WriteError(int category, int driveCode, const QString &description,
                                     const QString &senseData)
{
    m_dialogs.message(WriteErrorMessage(category, driveCode, description, senseData),
                      applicationTitle(), MessageIcon::Error);
    setButtonsEnabled(true);
    m_busy = false;
}

} // namespace quillory
