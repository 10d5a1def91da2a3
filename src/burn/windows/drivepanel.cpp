#include "burn/windows/drivepanel.h"

#include "ui_frmmaindvdwrite.h"

#include "burn/windows/burnwindowcontext.h"
#include "burn/writespeeds.h"
#include "platform/disc/discwriter.h"

namespace quillory {

DrivePanel::DrivePanel(const BurnWindowContext &context, QObject *parent)
    : QObject(parent), m_context(context)
{
    Ui::frmMaindvdwrite &ui = m_context.ui;
    // Choosing the drive shown already reads its medium again too.
    connect(ui.cboDevices, &QComboBox::activated, this, &DrivePanel::deviceChosen);
    connect(ui.cboWriteSpeed, &QComboBox::currentIndexChanged, this, &DrivePanel::speedChosen);
    connect(ui.chkUseJoliet, &QCheckBox::toggled, this,
            [this](bool on) { m_context.writer.setJolietNames(on ? 1 : 0); });
    connect(ui.chkCacheImage, &QCheckBox::clicked, this, &DrivePanel::cacheImageClicked);
}

void DrivePanel::enumerate()
{
    Ui::frmMaindvdwrite &ui = m_context.ui;
    const DiscWriter &writer = m_context.writer;
    {
        const QSignalBlocker blocker(ui.cboDevices);
        ui.cboDevices->clear();
        m_selectedDevice = -1;
        for (int i = 0; i < writer.DeviceCount(); ++i)
            if (writer.DeviceIsWriter(i))
                ui.cboDevices->addItem(writer.DeviceDrive(i) + QStringLiteral(": ") +
                                           writer.DeviceVendor(i) + QLatin1Char(' ') +
                                           writer.DeviceProduct(i),
                                       i);
    }
    if (ui.cboDevices->count() > 0) {
        ui.cboDevices->setCurrentIndex(0);
        deviceChosen();
    } else {
        m_context.info(QStringLiteral("There are no compatible CDR drives reported.\n"
                                      "Some older CDR drives are not currently supported."));
    }
}

void DrivePanel::deviceChosen()
{
    DiscWriter &writer = m_context.writer;
    const int index = m_context.ui.cboDevices->currentData().toInt();
    m_selectedDevice = writer.SelectDevice(index) ? index : -1;
    fillSpeedList();
    const bool protection = writer.DriveSupports(DiscWriter::SupportsBufferProtection);
    m_context.ui.chkUseBurnProof->setEnabled(protection);
    m_context.ui.chkUseBurnProof->setChecked(protection);
}

void DrivePanel::refreshMedia()
{
    DiscWriter &writer = m_context.writer;
    const int before = writer.MediaType();
    const int index = m_context.ui.cboDevices->currentData().toInt();
    m_selectedDevice = writer.SelectDevice(index) ? index : -1;
    if (writer.MediaType() != before)
        fillSpeedList();
}

void DrivePanel::moveTray(bool close)
{
    m_context.writer.MoveTray(close);
    refreshMedia();
}

void DrivePanel::applyTrackOptions(bool cd) const
{
    m_context.writer.setDvdHighCompatibility(!cd && m_context.ui.chkDVDHighCompMode->isChecked());
    m_context.writer.setTrackMode(cd && m_context.ui.chkUseMode2XA->isChecked() ? 2 : 1);
}

void DrivePanel::fillSpeedList()
{
    QComboBox *speeds = m_context.ui.cboWriteSpeed;
    {
        const QSignalBlocker blocker(speeds);
        speeds->clear();
        for (const WriteSpeed &speed :
             writeSpeeds(m_context.writer.MediaType(), m_context.writer.MaxWriteSpeed()))
            speeds->addItem(speed.text, speed.kilobytesPerSecond);
    }
    if (speeds->count() > 0) {
        speeds->setCurrentIndex(0);
        speedChosen();
    }
}

void DrivePanel::speedChosen()
{
    QComboBox *speeds = m_context.ui.cboWriteSpeed;
    if (speeds->currentText() != QLatin1String("Default"))
        m_context.writer.SetWriteSpeed(speeds->currentData().toInt());
}

void DrivePanel::cacheImageClicked()
{
    if (m_context.ui.chkCacheImage->isChecked())
        m_context.info(QStringLiteral(
            "Caching an image for a DVD format is not recommended and is limited to 4.2GB!"));
}

} // namespace quillory
