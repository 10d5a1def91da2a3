#include "platform/desktopnotification.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QFile>
#include <QVariantMap>

#include <sys/stat.h>
#include <unistd.h>

namespace quillory {

namespace {

// Long enough for a desktop that is busy; short enough that a bus nobody serves does not hold a
// scheduled job.
constexpr int notifyTimeoutMs = 10000;

const QString connectionName = QStringLiteral("quillory-notification");

} // namespace

QString sessionBusAddress()
{
    const QString named = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!named.isEmpty())
        return named;
    const QByteArray socket = QByteArray("/run/user/") + QByteArray::number(::getuid()) + "/bus";
    struct stat st {};
    if (::stat(socket.constData(), &st) == 0 && S_ISSOCK(st.st_mode))
        return QStringLiteral("unix:path=") + QFile::decodeName(socket);
    return QString();
}

Result notifyDesktop(const QString &summary, const QString &body)
{
    const QString address = sessionBusAddress();
    if (address.isEmpty())
        return Result::failure(QStringLiteral("No desktop session bus is reachable."));
    Result sent = Result::success();
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
        if (!bus.isConnected()) {
            sent = Result::failure(QStringLiteral("The desktop session bus cannot be reached: %1")
                                       .arg(bus.lastError().message()));
        } else {
            QDBusMessage notify = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.Notifications"),
                QStringLiteral("/org/freedesktop/Notifications"),
                QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
            notify << QStringLiteral("Quillory") << 0u << QStringLiteral("quillory") << summary
                   << body << QStringList() << QVariantMap() << -1;
            const QDBusMessage reply = bus.call(notify, QDBus::Block, notifyTimeoutMs);
            if (reply.type() == QDBusMessage::ErrorMessage)
                sent =
                    Result::failure(QStringLiteral("The desktop did not take the notification: %1")
                                        .arg(reply.errorMessage()));
        }
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return sent;
}

} // namespace quillory
