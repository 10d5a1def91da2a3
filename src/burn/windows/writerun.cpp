#include "burn/windows/writerun.h"

#include "ui_frmmaindvdwrite.h"

#include "burn/errortexts.h"
#include "burn/windows/burnwindowcontext.h"
#include "burn/windows/compilationviews.h"
#include "burn/windows/drivepanel.h"
#include "platform/disc/discwriter.h"
#include "platform/userdialogs.h"

#include <QCoreApplication>

#include <cmath>
#include <utility>

namespace quillory {

namespace {

const QString isoFilter = QStringLiteral("ISO file (*.iso)");
const QString noDriveText = QStringLiteral("A drive is not selected or does not exist.");

bool isCd(int mediaType)
{
    return mediaType == DiscWriter::MediaCdRw || mediaType == DiscWriter::MediaCdR;
}

QString twoDigits(int number)
{
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

} // namespace

WriteRun::WriteRun(const BurnWindowContext &context, CompilationViews &views, DrivePanel &drives,
                   std::function<void(bool)> setIdle, QObject *parent)
    : QObject(parent), m_context(context), m_views(views), m_drives(drives),
      m_setIdle(std::move(setIdle))
{
    connectWriter();
}

void WriteRun::connectWriter()
{
    DiscWriter *w = &m_context.writer;
    // The disc dialogs borrow the writer; what their operations report is not this window's.
    const auto ours = [this](auto handler) {
        return [this, handler](auto &&...arguments) {
            if (m_operating)
                handler(arguments...);
        };
    };
    const BurnWindowContext &c = m_context;
    connect(w, &DiscWriter::WritePreparing, this, ours([this] {
                m_context.setPanel(1, QStringLiteral("Preparing to Write...."));
                m_context.ui.prgTotalProgress->setValue(0);
                m_writeClock.start();
                m_setIdle(false);
            }));
    connect(w, &DiscWriter::CreatingDirectories, this,
            ours([&c] { c.setPanel(1, QStringLiteral("Creating Directories....")); }));
    connect(w, &DiscWriter::WriteProgress, this,
            ours([this](int, qint64 done, qint64 total) { showWriteProgress(done, total); }));
    connect(w, &DiscWriter::FileError, this, ours([&c](int code, const QString &fileName) {
                c.setPanel(1, QStringLiteral("ERROR:") + FileErrorText(code, fileName));
            }));
    connect(w, &DiscWriter::ClosingTrack, this,
            ours([&c] { c.setPanel(1, QStringLiteral("Closing Track....")); }));
    connect(w, &DiscWriter::ClosingSession, this,
            ours([&c] { c.setPanel(1, QStringLiteral("Closing Session....")); }));
    connect(w, &DiscWriter::ClosingDisc, this,
            ours([&c] { c.setPanel(1, QStringLiteral("Closing Disc....")); }));
    connect(w, &DiscWriter::WriteCancelled, this, ours([this] { writeCancelled(); }));
    connect(w, &DiscWriter::WriteError, this,
            ours([this](int category, int driveCode, const QString &description,
                        const QString &senseData) {
                writeError(category, driveCode, description, senseData);
            }));
    connect(w, &DiscWriter::WriteCompleted, this, ours([this] { writeCompleted(); }));
    connect(w, &DiscWriter::VerifyStarted, this, ours([&c](int fileCount) {
                c.setPanel(1, QStringLiteral("Auto-Verify... ") + QString::number(fileCount) +
                                  QStringLiteral(" new files."));
            }));
    connect(w, &DiscWriter::VerifyProgress, this,
            ours([this](const QString &discFile, const QString &sourceFile, int, int, int status,
                        qint64 done, qint64 total) {
                verifyProgress(discFile, sourceFile, status, done, total);
            }));
    connect(w, &DiscWriter::VerifyCompleted, this,
            ours([this](int compared, int matched) { verifyCompleted(compared, matched); }));
}

void WriteRun::writeDisc()
{
    DiscWriter &writer = m_context.writer;
    Ui::frmMaindvdwrite &ui = m_context.ui;
    if (m_drives.selectedDevice() == -1) {
        m_context.info(noDriveText);
        return;
    }
    const int media = writer.MediaType();
    if (media == DiscWriter::MediaNone) {
        m_context.info(QStringLiteral("Please Insert Writable Media before continuing!"));
        return;
    }
    // A disc without a single file would be a wasted disc.
    if (writer.FileCount() == 0) {
        m_context.info(
            QStringLiteral("There are no files to write: please add files or folders first."));
        return;
    }
    writer.setAutoVerify(ui.chkAutoVerify->isChecked());
    writer.setFinalizeDisc(ui.chkFinalizeDisc->isChecked());
    writer.setFixedWriteOption(true);
    writer.setJolietNames(ui.chkUseJoliet->isChecked() ? 1 : 0);
    writer.setCacheImage(ui.chkCacheImage->isChecked());
    writer.SetBufferProtection(ui.chkUseBurnProof->isChecked());
    m_drives.applyTrackOptions(isCd(media));
    writer.setTestWrite(isCd(media) && ui.chkTestWrite->isChecked());

    // A session without the earlier ones' files hides them from every reader of the disc.
    if (writer.DiscStatus() == DiscWriter::DiscOpen && writer.SessionCount() > 0 &&
        writer.ImportAllowed() && !writer.HasImportedFiles()) {
        const MessageAnswer answer = m_context.dialogs.message(
            QStringLiteral("The disc already holds files from earlier sessions. A new session "
                           "without them hides them from every program that reads the disc.\n\n"
                           "Yes: import the previous session first and keep its files.\n"
                           "No: write anyway.\nCancel: do not write."),
            applicationTitle(), MessageIcon::Question, MessageButtons::YesNoCancel);
        if (answer == MessageAnswer::Cancel)
            return;
        if (answer == MessageAnswer::Yes && !writer.ImportSession(true)) {
            m_context.error(QStringLiteral("Previous Session could not be imported."),
                            writer.LastError());
            return;
        }
        if (answer == MessageAnswer::Yes) {
            // The disc keeps its label unless the user typed another.
            if (!ui.txtVolIdentifier->isModified())
                ui.txtVolIdentifier->setText(writer.VolumeLabel());
            m_views.refresh();
        }
    }
    writer.setVolumeLabel(ui.txtVolIdentifier->text());

    m_operating = true;
    m_cancelled = false;
    if (!writer.StartWrite()) {
        m_operating = false;
        m_context.error(QStringLiteral("Disc Write could not be started."), writer.LastError());
    }
}

void WriteRun::cancel()
{
    m_context.setPanel(1, QStringLiteral("Aborting Write...Please Wait!"));
    m_context.writer.AbortWrite();
}

void WriteRun::showProgress(qint64 done, qint64 total)
{
    m_context.ui.prgTotalProgress->setValue(total == 0 ? 0
                                                       : int(std::lround(done * 100.0 / total)));
}

void WriteRun::showWriteProgress(qint64 done, qint64 total)
{
    showProgress(done, total);
    const double seconds = m_writeClock.isValid() ? m_writeClock.elapsed() / 1000.0 : 0;
    const double bytes = double(DiscWriter::BlocksToBytes(done, 1));
    QString text = QStringLiteral("Writing... %1 of %2")
                       .arg(FormatMegabytes(bytes),
                            FormatMegabytes(double(DiscWriter::BlocksToBytes(total, 1))));
    if (seconds > 0.5 && done > 0) {
        const double speed = bytes / seconds;
        const qint64 left =
            std::llround(double(DiscWriter::BlocksToBytes(total - done, 1)) / speed);
        text += QStringLiteral(", %1/s, %2:%3 left")
                    .arg(FormatMegabytes(speed))
                    .arg(left / 60)
                    .arg(twoDigits(int(left % 60)));
    }
    m_context.setPanel(1, text);
}

void WriteRun::writeCancelled()
{
    m_operating = false;
    m_cancelled = true;
    m_context.setPanel(1, QStringLiteral("Writing Cancelled......"));
    m_setIdle(true);
    m_context.info(QStringLiteral("Writing Cancelled!"));
}

void WriteRun::writeError(int category, int driveCode, const QString &description,
                          const QString &senseData)
{
    m_operating = false;
    QString text = QStringLiteral("Writing Error: (") + QString::number(category) +
                   QStringLiteral(")   ") + description + QLatin1Char('\n');
    if (category == DiscWriter::ErrorDrive)
        text += DriveErrorText(driveCode) + QStringLiteral("\n Error Sense Data: ") + senseData;
    m_context.error(text);
    m_setIdle(true);
}

void WriteRun::writeCompleted()
{
    DiscWriter &writer = m_context.writer;
    const bool verify = writer.AutoVerify();
    // The verification that follows still belongs to this write.
    m_operating = verify;
    m_context.ui.prgTotalProgress->setValue(100);
    m_context.setPanel(1, QStringLiteral("Writing Complete!"));
    m_setIdle(true);
    if (!verify)
        m_context.info(QStringLiteral("Writing is complete!"));
    if (!verify && !writer.TestWrite())
        writer.MoveTray(false);
}

void WriteRun::verifyProgress(const QString &discFile, const QString &sourceFile, int status,
                              qint64 done, qint64 total)
{
    QString problem;
    switch (status) {
    case DiscWriter::VerifySourceUnreadable:
        problem = QStringLiteral("Verify Error - Could not read Source file from disc: ");
        break;
    case DiscWriter::VerifyDiscUnreadable:
        problem = QStringLiteral("Verify Error - Could not read Destination file from disc: ");
        break;
    case DiscWriter::VerifyContentDiffers:
        problem = QStringLiteral("Verify Error - Source and Destination file did not match: ");
        break;
    case DiscWriter::VerifySizeDiffers:
        problem =
            QStringLiteral("Verify Error - Size of Source and Destination file did not match: ");
        break;
    default:
        break;
    }
    if (!problem.isEmpty())
        m_context.dialogs.message(problem + QLatin1Char('\n') + discFile +
                                      QStringLiteral(" (disc)\n") + sourceFile +
                                      QStringLiteral(" (source)"),
                                  applicationTitle(), MessageIcon::None);
    m_context.setPanel(1, QStringLiteral("Auto-Verify... ") + discFile);
    showProgress(done, total);
    QCoreApplication::processEvents();
}

void WriteRun::verifyCompleted(int compared, int matched)
{
    m_operating = false;
    m_context.setPanel(1, QStringLiteral("Auto-Verify...Complete (") + QString::number(matched) +
                              QStringLiteral(" of ") + QString::number(compared) +
                              QStringLiteral(" MATCHED)"));
    m_context.writer.MoveTray(false);
    m_context.info(QStringLiteral("Writing and Verify is complete!"));
}

void WriteRun::saveImage()
{
    DiscWriter &writer = m_context.writer;
    Ui::frmMaindvdwrite &ui = m_context.ui;
    const std::optional<QString> path = m_context.dialogs.saveFileName(
        QStringLiteral("Save as ISO File"), QString(), QStringLiteral("Tenmoor.iso"), isoFilter);
    if (!path) {
        m_setIdle(true);
        return;
    }
    m_setIdle(false);
    writer.setAutoVerify(false);
    writer.setJolietNames(ui.chkUseJoliet->isChecked() ? 1 : 0);
    writer.setVolumeLabel(ui.txtVolIdentifier->text());
    m_drives.applyTrackOptions(isCd(writer.MediaType()));
    m_operating = true;
    m_cancelled = false;
    m_writeClock.start();
    const bool saved = writer.SaveImageToFile(*path);
    m_operating = false;
    m_setIdle(true);
    if (saved) {
        ui.prgTotalProgress->setValue(100);
        m_context.info(QStringLiteral("ISO File Created successfully!"));
    } else if (!m_cancelled) {
        // A cancel has said so already.
        m_context.error(QStringLiteral("Error creating ISO File."), writer.LastError());
    }
    m_views.updateStatus();
}

void WriteRun::writeImage()
{
    DiscWriter &writer = m_context.writer;
    Ui::frmMaindvdwrite &ui = m_context.ui;
    const std::optional<QString> path = m_context.dialogs.openFileName(
        QStringLiteral("Write ISO File"), QString(), QStringLiteral("Test.iso"), isoFilter);
    if (!path) {
        m_setIdle(true);
        return;
    }
    m_setIdle(false);
    writer.setAutoVerify(false);
    writer.setTrackMode(ui.chkUseMode2XA->isChecked() ? 2 : 1);
    writer.setFinalizeDisc(ui.chkFinalizeDisc->isChecked());
    writer.setFixedWriteOption(true);
    writer.setTestWrite(ui.chkTestWrite->isChecked());
    writer.SetBufferProtection(ui.chkUseBurnProof->isChecked());
    m_operating = true;
    m_cancelled = false;
    if (!writer.WriteImageFile(*path)) {
        m_operating = false;
        m_setIdle(true);
        m_context.error(QStringLiteral("Error Writing ISO File."), writer.LastError());
    }
}

void WriteRun::importSession()
{
    DiscWriter &writer = m_context.writer;
    if (m_drives.selectedDevice() == -1) {
        m_context.info(noDriveText);
        return;
    }
    if (writer.MediaType() == DiscWriter::MediaNone) {
        m_context.info(QStringLiteral("Please Insert a disc before continuing!"));
        return;
    }
    // A blank disc has nothing wrong with its tracks: it has none.
    if (writer.DiscStatus() == DiscWriter::DiscEmpty) {
        m_context.info(QStringLiteral("The disc is blank: it holds no session to import."));
        return;
    }
    m_context.setPanel(1, QStringLiteral("Importing Previous Session..."));
    if (!writer.ImportSession(true)) {
        m_context.error(QStringLiteral("Previous Session could not be imported\n"
                                       "Only ISO/Joliet tracks (Mode1) can be imported."),
                        writer.LastError());
        return;
    }
    m_context.ui.txtVolIdentifier->setText(writer.VolumeLabel());
    if (QTreeWidgetItem *first = m_views.rootNode())
        first->setExpanded(true);
    m_views.refresh();
}

} // namespace quillory
