#include "burn/windows/frmdiscinfo.h"

#include "ui_frmdiscinfo.h"

#include "burn/errortexts.h"
#include "platform/disc/discwriter.h"
#include "platform/userdialogs.h"

#include <QMap>

namespace quillory {

namespace {

const QMap<int, QString> &mediaTypeTexts()
{
    static const QMap<int, QString> texts{
        {DiscWriter::MediaDvdRom, QStringLiteral("DVD-ROM")},
        {DiscWriter::MediaDvdRam, QStringLiteral("DVD-RAM")},
        {DiscWriter::MediaDvdR, QStringLiteral("DVD-R")},
        {DiscWriter::MediaDvdRw, QStringLiteral("DVD-RW")},
        {DiscWriter::MediaDvdPlusRw, QStringLiteral("DVD+RW")},
        {DiscWriter::MediaDvdPlusR, QStringLiteral("DVD+R")},
        {DiscWriter::MediaDvdPlusRDualLayer, QStringLiteral("DVD+R Dual Layer")},
        {DiscWriter::MediaCdRw, QStringLiteral("CD-RW")},
        {DiscWriter::MediaNone, QStringLiteral("Not Loaded")},
        {DiscWriter::MediaCdR, QStringLiteral("CD-R")},
    };
    return texts;
}

const QMap<int, QString> &discStatusTexts()
{
    static const QMap<int, QString> texts{
        {DiscWriter::DiscEmpty, QStringLiteral("Empty Disc")},
        {DiscWriter::DiscOpen, QStringLiteral("Disc Open")},
        {DiscWriter::DiscClosed, QStringLiteral("Disc is Closed")},
        {DiscWriter::DiscUnknown, QStringLiteral("Unknown")},
    };
    return texts;
}

const QMap<int, QString> &cdTypeTexts()
{
    static const QMap<int, QString> texts{
        {DiscWriter::CdRom, QStringLiteral("CD-DA/CD-ROM")},
        {DiscWriter::CdI, QStringLiteral("CDI")},
        {DiscWriter::CdRomXa, QStringLiteral("CD-ROM XA")},
        {DiscWriter::CdUnknown, QStringLiteral("Unknown")},
    };
    return texts;
}

const QMap<int, QString> &sessionStateTexts()
{
    static const QMap<int, QString> texts{
        {DiscWriter::SessionEmpty, QStringLiteral("Empty Session")},
        {DiscWriter::SessionIncomplete, QStringLiteral("Incomplete Session")},
        {DiscWriter::SessionUnknown, QStringLiteral("Unknown")},
        {DiscWriter::SessionClosed, QStringLiteral("Closed Session")},
    };
    return texts;
}

// A value outside its table leaves the label as it was.
void showValue(QLabel *label, const QMap<int, QString> &texts, int value)
{
    const auto found = texts.constFind(value);
    if (found != texts.cend())
        label->setText(*found);
}

QString sizeText(qint64 blocks)
{
    return FormatMegabytes(double(DiscWriter::BlocksToBytes(blocks, 1)));
}

} // namespace

frmDiscInfo::frmDiscInfo(DiscWriter &writer, UserDialogs &dialogs, QWidget *parent)
    : DiscDialog(writer, dialogs, parent), ui(std::make_unique<Ui::frmDiscInfo>())
{
    ui->setupUi(this);
    // The boxes show what the disc allows; the user cannot change that.
    for (QCheckBox *box : {ui->chkMultiSessionAllowed, ui->chkImportPermitted, ui->chkISO9660FS,
                           ui->chkJolietFS, ui->chkUDFFS, ui->chkOtherFS})
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmDiscInfo::cmdOK_Click);
    connect(ui->cmdCloseSession, &QPushButton::clicked, this, &frmDiscInfo::cmdCloseSession_Click);
    connect(ui->cmdCloseDisc, &QPushButton::clicked, this, &frmDiscInfo::cmdCloseDisc_Click);
}

frmDiscInfo::~frmDiscInfo() = default;

int frmDiscInfo::ShowDiscInfo()
{
    if (lendWriter().MediaType() == DiscWriter::MediaNone) {
        m_dialogs.message(QStringLiteral("No Media Loaded...Cannot Get Disc Info!"),
                          applicationTitle(), MessageIcon::Information);
        mobjDVDPro = nullptr;
        return Rejected;
    }
    connect(mobjDVDPro, &DiscWriter::ClosingDisc, this, &frmDiscInfo::mobjDVDPro_ClosingDisc);
    connect(mobjDVDPro, &DiscWriter::ClosingSession, this, &frmDiscInfo::mobjDVDPro_ClosingSession);
    connect(mobjDVDPro, &DiscWriter::WriteCompleted, this, &frmDiscInfo::mobjDVDPro_WriteCompleted);
    connect(mobjDVDPro, &DiscWriter::WriteError, this, &frmDiscInfo::mobjDVDPro_WriteError);
    Form_Load();
    return QDialog::exec();
}

int frmDiscInfo::exec()
{
    return ShowDiscInfo();
}

void frmDiscInfo::Form_Load()
{
    applySkin();
    RefreshDiscInfo();
}

void frmDiscInfo::RefreshDiscInfo()
{
    ui->cmdCloseDisc->setEnabled(false);
    ui->cmdCloseSession->setEnabled(false);
    m_busy = false;
    ui->lblValueSessions->setText(QString::number(mobjDVDPro->SessionCount()));
    showValue(ui->lblValueMediaType, mediaTypeTexts(), mobjDVDPro->MediaType());
    showValue(ui->lblValueDiscStatus, discStatusTexts(), mobjDVDPro->DiscStatus());
    ui->lblValueFreeSpace->setText(sizeText(mobjDVDPro->FreeBlocks()));
    ui->lblValueUsedSpace->setText(sizeText(mobjDVDPro->UsedBlocks()));
    ui->lblValueTotalCapacity->setText(sizeText(mobjDVDPro->CapacityBlocks()));
    showValue(ui->lblValueDiscType, cdTypeTexts(), mobjDVDPro->DiscType());
    const int lastSession = mobjDVDPro->LastSessionState();
    showValue(ui->lblValueLastSessionStatus, sessionStateTexts(), lastSession);
    if (lastSession == DiscWriter::SessionIncomplete) {
        ui->cmdCloseSession->setEnabled(true);
        ui->cmdCloseDisc->setEnabled(true);
    }
    ui->chkMultiSessionAllowed->setChecked(mobjDVDPro->MultiSessionAllowed());
    ui->chkImportPermitted->setChecked(mobjDVDPro->ImportAllowed());
    ui->chkISO9660FS->setChecked(mobjDVDPro->HasFileSystem(DiscWriter::FileSystemIso9660));
    ui->chkJolietFS->setChecked(mobjDVDPro->HasFileSystem(DiscWriter::FileSystemJoliet));
    ui->chkUDFFS->setChecked(mobjDVDPro->HasFileSystem(DiscWriter::FileSystemUdf));
    ui->chkOtherFS->setChecked(mobjDVDPro->HasFileSystem(DiscWriter::FileSystemOther));
}

void frmDiscInfo::cmdOK_Click()
{
    accept();
}

void frmDiscInfo::cmdCloseSession_Click()
{
    closeMedia(false, QStringLiteral("Error attempting to Close Session!"));
}

void frmDiscInfo::cmdCloseDisc_Click()
{
    closeMedia(true, QStringLiteral("Error attempting to Close Disc!"));
}

void frmDiscInfo::closeMedia(bool finalize, const QString &failure)
{
    m_busy = true;
    setButtonsEnabled(false);
    if (mobjDVDPro->CloseMedia(finalize))
        return;
    m_dialogs.message(failure, applicationTitle(), MessageIcon::Error);
    m_busy = false;
    setButtonsEnabled(true);
}

void frmDiscInfo::setButtonsEnabled(bool on)
{
    ui->cmdOK->setEnabled(on);
    ui->cmdCloseDisc->setEnabled(on);
    ui->cmdCloseSession->setEnabled(on);
}

void frmDiscInfo::mobjDVDPro_ClosingDisc()
{
    ui->lblStatus->setText(QStringLiteral("...Closing Disc..."));
}

void frmDiscInfo::mobjDVDPro_ClosingSession()
{
    ui->lblStatus->setText(QStringLiteral("...Closing Session..."));
}

void frmDiscInfo::mobjDVDPro_WriteCompleted()
{
    ui->lblStatus->setText(QStringLiteral("Closing Successful!!"));
    RefreshDiscInfo();
    m_dialogs.message(QStringLiteral("Session/Disc Closed Successful!"), applicationTitle(),
                      MessageIcon::Information);
    m_busy = false;
    ui->cmdOK->setEnabled(true);
}

void frmDiscInfo::mobjDVDPro_WriteError(int category, int driveCode, const QString &description,
                                        const QString &senseData)
{
    m_dialogs.message(WriteErrorMessage(category, driveCode, description, senseData),
                      applicationTitle(), MessageIcon::Error);
    m_busy = false;
    reject();
}

} // namespace quillory
