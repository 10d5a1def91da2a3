#include "platform/widgets/widgetdialogs.h"

#include "platform/text/controlcharacters.h"
#include "platform/widgets/frmpwd.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTreeView>

#include <algorithm>

namespace quillory {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoDefaultNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// A report gives each item a line of its name, a tab and its result. A label draws the tab as a
// gap to the next fixed tab stop, so results start wherever their names happen to end and a long
// name's result wraps onto a line of its own. A table lines the results up in one column; lines
// without a tab span both columns. The words stay those of the text.
QString reportLayout(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\">");
    for (const QString &line : text.split(lineBreak)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab < 0)
            html += QStringLiteral("<tr><td colspan=\"2\">%1</td></tr>").arg(line.toHtmlEscaped());
        else
            html += QStringLiteral("<tr><td style=\"white-space:pre; padding-right:24px\">%1</td>"
                                   "<td style=\"white-space:pre\">%2</td></tr>")
                        .arg(line.left(tab).toHtmlEscaped(), line.mid(tab + 1).toHtmlEscaped());
    }
    return html + QStringLiteral("</table>");
}

// A message box that shows all of its text and buttons on any screen. Qt lays out the details
// button by a measure taken before the skin padded it, so that it shrinks to the skin's least
// button width and cuts its text; and on a screen 1024 pixels wide or less a long line makes the
// box as wide as the screen, its frame beyond it.
class WholeMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

    // Call once the box has its look.
    void setDetails(const QString &details)
    {
        setDetailedText(details);
        ensurePolished();
        for (QAbstractButton *button : buttons())
            if (auto *detailsButton = qobject_cast<QPushButton *>(button);
                detailsButton && buttonRole(button) == ActionRole)
                widen(*detailsButton);
    }

protected:
    bool event(QEvent *event) override
    {
        const bool handled = QMessageBox::event(event);
        // Qt sets the box's size again on each of these.
        if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::StyleChange ||
            event->type() == QEvent::FontChange)
            fit();
        return handled;
    }

    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        fit();
    }

private:
    // Wide enough for either of its texts. As a rule of its own look, so that the skin's least
    // button width, which the skin sets again whenever it polishes the button, does not undo it.
    static void widen(QPushButton &detailsButton)
    {
        const QFontMetrics metrics = detailsButton.fontMetrics();
        int textWidth = 0;
        for (const QString &text : {tr("Show Details..."), tr("Hide Details...")})
            textWidth = std::max(textWidth, metrics.size(Qt::TextShowMnemonic, text).width());
        if (!detailsButton.icon().isNull())
            textWidth += detailsButton.iconSize().width() + 4;
        detailsButton.setStyleSheet(QStringLiteral("min-width: %1px;").arg(textWidth));
    }

    void fit()
    {
        if (!isVisible())
            return;
        const QScreen *shownOn = screen();
        if (!shownOn || !layout())
            return;
        // Before the window manager has framed the box its frame is unknown: leave room for the
        // usual borders.
        const int frame = std::max(frameGeometry().width() - width(), 12);
        const int room = shownOn->availableGeometry().width() - frame;
        if (width() <= room)
            return;
        setFixedSize(room, layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(room)
                                                         : height());
        move(std::max(x(), shownOn->availableGeometry().x()), y());
    }
};

// Files are told apart by the patterns of the dialog's filter: "Quillory File (*.wlm)" and
// "Quillory File(*.wlm)" offer the same kind.
QString fileKind(const QString &filter)
{
    static const QRegularExpression patterns(QStringLiteral("\\(([^)]*)\\)"));
    QStringList kinds;
    for (const QRegularExpressionMatch &match : patterns.globalMatch(filter))
        kinds.append(match.captured(1).simplified());
    return kinds.join(QLatin1Char(';'));
}

// The extension of a filter that offers one kind of file by its extension, as "Quillory File
// (*.wlm)" does; empty for any other.
QString onlyExtension(const QString &filter)
{
    static const QRegularExpression oneExtension(QStringLiteral("^\\*\\.([^.*?;\\[\\]\\s]+)$"));
    const QRegularExpressionMatch match = oneExtension.match(fileKind(filter));
    return match.hasMatch() ? match.captured(1) : QString();
}

// The detail view's columns are sized when the dialog is made, for its own font and a sample
// text each: a style sheet's font, a longer size unit or a longer date format would be cut. They
// follow what they show instead; the name takes the room left.
void fitDetailColumns(QFileDialog &dialog)
{
    auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!details)
        return;
    QHeaderView *header = details->header();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
}

// Large enough for the file names and their details side by side, yet within the screen.
QSize fileDialogSize(const QWidget &dialog)
{
    const QFontMetrics metrics = dialog.fontMetrics();
    const QSize wanted(qMax(900, 110 * metrics.averageCharWidth()),
                       qMax(560, 32 * metrics.lineSpacing()));
    const QScreen *screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return wanted;
    const QSize room = screen->availableGeometry().size() * 9 / 10;
    return wanted.boundedTo(room).expandedTo(dialog.minimumSizeHint());
}

} // namespace

QWidget *WidgetDialogs::owner() const
{
    if (QWidget *front = QApplication::activeModalWidget())
        return front;
    return m_parent;
}

void WidgetDialogs::dress(QWidget &dialog) const
{
    if (!dialog.parentWidget())
        dialog.setStyleSheet(m_look);
}

MessageAnswer WidgetDialogs::message(const QString &shownText, const QString &title,
                                     MessageIcon icon, MessageButtons buttons,
                                     const QString &shownDetails)
{
    // The texts may carry names from an archive or the file system: they are shown, not obeyed.
    const QString text = replacedControls(shownText);
    const QString details = replacedControls(shownDetails);
    WholeMessageBox box(boxIcon(icon), title, text, boxButtons(buttons), owner());
    if (buttons == MessageButtons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    if (text.contains(QLatin1Char('\t'))) {
        box.setTextFormat(Qt::RichText);
        box.setText(reportLayout(text));
    }
    dress(box);
    if (!details.isEmpty())
        box.setDetails(details);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Cancel;
    }
}

std::optional<QString> WidgetDialogs::chooseFile(QFileDialog &dialog, const QString &folder,
                                                 const QString &filter, const QString &proposedName)
{
    const QString kind = fileKind(filter);
    const QString last = m_lastFolders.value(kind);
    // Without one, the box of file types would stand empty.
    dialog.setNameFilter(filter.isEmpty() ? QStringLiteral("All files (*)") : filter);
    // The folder used last for files of this kind, else the one asked for, else home: never
    // the file system's root.
    dialog.setDirectory(QFileInfo(last).isDir()     ? last
                        : QFileInfo(folder).isDir() ? folder
                                                    : QDir::homePath());
    if (!proposedName.isEmpty())
        dialog.selectFile(proposedName);
    dialog.resize(fileDialogSize(dialog));
    dress(dialog);
    fitDetailColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    m_lastFolders.insert(kind, QFileInfo(chosen).absolutePath());
    return chosen;
}

std::optional<QString> WidgetDialogs::saveFileName(const QString &title, const QString &folder,
                                                   const QString &proposedName,
                                                   const QString &filter)
{
    QFileDialog dialog(owner(), title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The program asks about replacing a file itself, so the dialog must not ask too.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // A name typed without an extension gets the filter's, as the desktop's file dialogs give it.
    dialog.setDefaultSuffix(onlyExtension(filter));
    return chooseFile(dialog, folder, filter, proposedName);
}

std::optional<QString> WidgetDialogs::openFileName(const QString &title, const QString &folder,
                                                   const QString &proposedName,
                                                   const QString &filter)
{
    QFileDialog dialog(owner(), title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return chooseFile(dialog, folder, filter, proposedName);
}

QStringList WidgetDialogs::openFileNames(const QString &title, const QString &folder,
                                         const QString &filter)
{
    QFileDialog dialog(owner(), title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (!chooseFile(dialog, folder, filter, QString()))
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> WidgetDialogs::folderName(const QString &title, const QString &folder)
{
    QFileDialog dialog(owner(), title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return chooseFile(dialog, folder, QString(), QString());
}

std::optional<QString> WidgetDialogs::password(const QString &)
{
    frmPwd prompt(owner());
    dress(prompt);
    if (prompt.exec() != QDialog::Accepted)
        return std::nullopt;
    return prompt.password();
}

} // namespace quillory
