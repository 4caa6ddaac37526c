// What the window tells the desktop while a download runs and when it ends:
// the overall bar's description (done, rate, time left), the taskbar's
// progress, and a notification, through a stand-in notification service on
// the tests' own session bus.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTextDocument>
#include <QWidget>

#include <mutex>

#include "main_dialog_fixture.h"
#include "widgets/desktop_notice.h"
#include "widgets/qt/dialog_window.h"

namespace {

using Fault = TestHttpServer::Fault;
using namespace res;

// org.freedesktop.Notifications as a desktop offers it, recording what it
// is asked to show.
class StandInNotifications : public QDBusVirtualObject {
  public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify") || message.arguments().size() != 8) {
            return false;
        }
        notices.emplace_back(message.arguments()[3].toString().toStdString(),
                             message.arguments()[4].toString().toStdString());
        connection.send(message.createReply(QVariant::fromValue(1u)));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    std::vector<std::pair<std::string, std::string>> notices;
};

// Records the taskbar's progress as a dock reads it.
class LauncherEntryWatch : public QObject {
    Q_OBJECT
  public slots:
    void Update(const QString& uri, const QVariantMap& properties) {
        this->uri = uri.toStdString();
        progress = properties.value(QStringLiteral("progress")).toDouble();
        visible = properties.value(QStringLiteral("progress-visible")).toBool();
        ++updates;
    }

  public:
    std::string uri;
    double progress = -1;
    bool visible = false;
    int updates = 0;
};

class DesktopBusQtTest : public MainDialogTest {
  protected:
    void SetUp() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            GTEST_SKIP() << "no session bus of the tests' own (needs Debian's dbus-daemon)";
        }
        ASSERT_TRUE(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                              &m_notifications, QDBusConnection::SubPath));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(
            bus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                        QStringLiteral("Update"), &m_taskbar, SLOT(Update(QString, QVariantMap))));
    }
    void TearDown() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }

    StandInNotifications m_notifications;
    LauncherEntryWatch m_taskbar;
};

TEST_F(DesktopBusQtTest, AwayTheUserIsToldWhenTheInstallerIsReadyOrAPartFailsForGood) {
    const PublishedPackage package = Publish(kPackageMain, 5);
    QWidget elsewhere;  // the window the user looks at meanwhile
    auto dialog = MakeDialog();
    const auto lookElsewhere = [&] {
        elsewhere.show();
        elsewhere.activateWindow();
        WaitUntil([&] { return elsewhere.isActiveWindow(); }, "another window to be active");
    };
    RunModal(*dialog, [&] {
        lookElsewhere();
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil([&] { return !m_notifications.notices.empty(); }, "a notification"));
        EXPECT_EQ(m_notifications.notices[0],
                  (std::pair<std::string, std::string>{
                      "Velmora Main Package is downloaded",
                      "The installer is ready: click the install button to install it."}));
        EXPECT_EQ(m_taskbar.uri, "application://velmora-quindle-7.desktop");
        EXPECT_FALSE(m_taskbar.visible) << "the taskbar's progress goes with the download";

        // A part that fails three times, with Vessa chosen.
        m_notifications.notices.clear();
        Click(*dialog, IDC_STOP);
        Publish(kPackageVessa, 5);
        ChooseMenuEntry(*dialog, IDM_PACKAGE_VESSA);
        m_server.SetFault("/download/ttsvessa/velmora.002", Fault{.status = 404});
        lookElsewhere();
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil([&] { return !m_notifications.notices.empty(); }, "a notification"));
        EXPECT_EQ(m_notifications.notices[0],
                  (std::pair<std::string, std::string>{
                      "Velmora TTS Vessa: the download has stopped",
                      "Failed to connect to the server. Please try later"}));
        WaitUntil([&] { return !dialog->m_download.IsDownloading(); }, "the worker to end");
    });
}

TEST_F(DesktopBusQtTest, WhileTheUserLooksAtTheWindowNothingIsSent) {
    Publish(kPackageMain, 5);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        WindowOf(*dialog).activateWindow();
        WaitUntil([&] { return dialog->IsActive(); }, "the window to be active");
        Click(*dialog, IDC_DOWNLOAD);
        WaitUntil(
            [&] {
                return !dialog->m_download.IsDownloading() && !m_taskbar.visible &&
                       m_taskbar.updates > 0;
            },
            "the download to end");
        Settle();
        EXPECT_TRUE(m_notifications.notices.empty());
    });
}

TEST_F(DesktopBusQtTest, TheOverallBarTellsWhatIsDoneHowFastAndHowLongItHasLeft) {
    // 8 parts of 64 KiB, sent at 64 KiB/s: about 8 seconds in all.
    const PublishedPackage package = Publish(kPackageMain, 8, 65536);
    m_server.SetRateLimit(65536);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        QWidget* bar = ControlWidget(*dialog, IDC_PROGRESS_OVERALL);
        ASSERT_TRUE(WaitUntil([&] { return bar->toolTip().contains(QStringLiteral("KiB/s")); },
                              "a rate in the bar's tooltip"));
        const std::string tip = bar->toolTip().toStdString();
        // The last part counts as a whole one until it is there.
        EXPECT_NE(tip.find(" of 512 KiB, "), std::string::npos) << tip;
        EXPECT_NE(tip.find(" left"), std::string::npos) << tip;
        // The tooltip shows the description as it stands; the bar's
        // description is that same text.
        EXPECT_EQ(bar->toolTip(), LiteralToolTip(bar->accessibleDescription()));
        QTextDocument shown;
        shown.setHtml(bar->toolTip());
        EXPECT_EQ(shown.toPlainText(), bar->accessibleDescription());
        // The dock hears of it over the bus, a moment after the tooltip.
        EXPECT_TRUE(WaitUntil([&] { return m_taskbar.progress > 0.0; }, "progress on the dock"));
        EXPECT_TRUE(m_taskbar.visible);
        EXPECT_LT(m_taskbar.progress, 1.0);
        Click(*dialog, IDOK);
    });
}

TEST(NotificationBodyTest, MarkupInABodyIsEscapedForTheProtocol) {
    EXPECT_EQ(NotificationBodyMarkup(
                  "x <img src=\"/dev/zero\"> & <a href=\"http://evil.example/\">fix</a>"),
              "x &lt;img src=\"/dev/zero\"&gt; &amp; &lt;a "
              "href=\"http://evil.example/\"&gt;fix&lt;/a&gt;");
    EXPECT_EQ(NotificationBodyMarkup("&amp; stays &amp;amp;"), "&amp;amp; stays &amp;amp;amp;")
        << "an entity in the text is text";
    EXPECT_EQ(NotificationBodyMarkup("Failed to connect. Please try later"),
              "Failed to connect. Please try later");
}

TEST_F(DesktopBusQtTest, MarkupInANoticeBodyIsSentEscapedAndTheSummaryAsItIs) {
    SendDesktopNotification("Velmora <b>Main</b> Package", "(x <img src=\"/dev/zero\">) & more");
    ASSERT_TRUE(WaitUntil([&] { return !m_notifications.notices.empty(); }, "a notification"));
    EXPECT_EQ(m_notifications.notices[0],
              (std::pair<std::string, std::string>{
                  "Velmora <b>Main</b> Package", "(x &lt;img src=\"/dev/zero\"&gt;) &amp; more"}));
}

TEST_F(DesktopBusQtTest, AwayAServersMarkupInTheFailureReachesTheNoticeEscaped) {
    const PublishedPackage package = Publish(kPackageMain, 3);
    m_server.SetFault(package.RemotePath(1),
                      Fault{.extraHeaders = "Transfer-Encoding: x <img src=\"/dev/zero\">\r\n"});
    QWidget elsewhere;
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        elsewhere.show();
        elsewhere.activateWindow();
        WaitUntil([&] { return elsewhere.isActiveWindow(); }, "another window to be active");
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil([&] { return !m_notifications.notices.empty(); }, "a notification"));
        EXPECT_EQ(m_notifications.notices[0].first,
                  "Velmora Main Package: the download has stopped");
        const std::string& body = m_notifications.notices[0].second;
        EXPECT_NE(body.find("(x &lt;img src=\"/dev/zero\"&gt;)"), std::string::npos) << body;
        EXPECT_EQ(body.find('<'), std::string::npos) << body;
        WaitUntil([&] { return !dialog->m_download.IsDownloading(); }, "the worker to end");
    });
}

}  // namespace

#include "desktop_notice_qt_test.moc"
