#include "widgets/desktop_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "framework/texts.h"

namespace {

constexpr int kServerDecidesTimeout = -1;

}  // namespace

// The three that make markup; a quote is text outside a tag, and stays
// as it is for a desktop that reads the body as text after all.
QString NotificationBodyMarkup(const QString& text) {
    QString markup;
    markup.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&') {
            markup += QStringLiteral("&amp;");
        } else if (c == u'<') {
            markup += QStringLiteral("&lt;");
        } else if (c == u'>') {
            markup += QStringLiteral("&gt;");
        } else {
            markup += c;
        }
    }
    return markup;
}

void SendDesktopNotification(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QString::fromUtf8(text::kAppTitle) << 0u << QStringLiteral("velmora-quindle")
           << summary << NotificationBodyMarkup(body) << QStringList() << QVariantMap()
           << kServerDecidesTimeout;
    // No reply awaited: the download does not wait for the desktop.
    notify.setAutoStartService(true);
    bus.send(notify);
}

void ShowTaskbarProgress(const QString& desktopId, double progress, bool visible) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage update = QDBusMessage::createSignal(
        QStringLiteral("/com/velmora/Quindle/LauncherEntry"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QStringLiteral("application://") + desktopId + QStringLiteral(".desktop")
           << QVariantMap{{QStringLiteral("progress"), progress},
                          {QStringLiteral("progress-visible"), visible}};
    bus.send(update);
}
