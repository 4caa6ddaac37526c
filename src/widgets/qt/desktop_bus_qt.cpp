#include "widgets/desktop_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "framework/build_config.h"
#include "framework/texts.h"

namespace {

constexpr int kServerDecidesTimeout = -1;

}  // namespace

void SendDesktopNotification(const std::string& summary, const std::string& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QString::fromUtf8(text::kAppTitle) << 0u << QString::fromUtf8(config::kAppId)
           << QString::fromLocal8Bit(summary.c_str())
           << QString::fromLocal8Bit(NotificationBodyMarkup(body).c_str()) << QStringList()
           << QVariantMap() << kServerDecidesTimeout;
    // No reply awaited: the download does not wait for the desktop.
    notify.setAutoStartService(true);
    bus.send(notify);
}

void ShowTaskbarProgress(const std::string& desktopId, double progress, bool visible) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage update = QDBusMessage::createSignal(
        QStringLiteral("/com/velmora/Quindle/LauncherEntry"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QStringLiteral("application://") + QString::fromUtf8(desktopId.c_str()) +
                  QStringLiteral(".desktop")
           << QVariantMap{{QStringLiteral("progress"), progress},
                          {QStringLiteral("progress-visible"), visible}};
    bus.send(update);
}
