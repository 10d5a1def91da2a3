#include "help/helplocations.h"

#include "app/programfolder.h"

#include <QUrl>

namespace quillory {

namespace {

QString helpPageAddress(const QString &section = QString())
{
    QUrl page = QUrl::fromLocalFile(helpFilePath(programFolder()));
    page.setFragment(section);
    return page.toString();
}

} // namespace

QString productWebAddress()
{
    const QString configured = QStringLiteral(QUILLORY_WEB_ADDRESS);
    return configured.isEmpty() ? helpPageAddress() : configured;
}

QString supportEmailAddress()
{
    const QString configured = QStringLiteral(QUILLORY_SUPPORT_EMAIL);
    return configured.isEmpty() ? helpPageAddress(QStringLiteral("problems")) : configured;
}

QString helpFilePath(const QString &programFolder)
{
    return programFolder + QStringLiteral("/help/index.html");
}

} // namespace quillory
