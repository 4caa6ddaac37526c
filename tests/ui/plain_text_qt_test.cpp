// Nothing the server sends is read as markup: a header value in a box, a
// version and a part name in the window's labels show as they arrived, and
// nothing they name is loaded or offered as a link.
//
// Each attack runs first against a probe: the markup names a file of the
// test's own, watched with inotify, where the real attack names /dev/zero
// (which a label reading markup reads until memory runs out). Only once the
// probe was left alone does the real attack follow, so that a window that
// reads markup again fails the test instead of exhausting the machine.

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "framework/failure_text.h"
#include "main_dialog_fixture.h"
#include "widgets/qt/dialog_window.h"

namespace {

using Fault = TestHttpServer::Fault;
using namespace res;

// A file that tells whether anything opened or read it since it was made.
class ProbeFile {
  public:
    explicit ProbeFile(std::string path) : m_path(std::move(path)) {
        WriteFile(m_path, "GIF89a");
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(m_fd, 0);
        EXPECT_GE(inotify_add_watch(m_fd, m_path.c_str(), IN_OPEN | IN_ACCESS), 0);
    }
    ~ProbeFile() { close(m_fd); }
    ProbeFile(const ProbeFile&) = delete;
    ProbeFile& operator=(const ProbeFile&) = delete;

    const std::string& Path() const { return m_path; }
    // The path as markup may name it without a "/", which no version or
    // part name may hold: every "/" written as the entity "&#47;".
    std::string EntityPath() const {
        std::string path;
        for (const char c : m_path) {
            path += c == '/' ? std::string("&#47;") : std::string(1, c);
        }
        return path;
    }
    bool Touched() const {
        alignas(inotify_event) char events[4096];
        return read(m_fd, events, sizeof events) > 0;
    }

  private:
    std::string m_path;
    int m_fd = -1;
};

// What a label shows, once it has been laid out and painted.
struct ShownLabel {
    std::string text;
    Qt::TextFormat format = Qt::AutoText;
    bool linksReachable = true;
};

ShownLabel Render(QLabel* label) {
    EXPECT_NE(label, nullptr);
    if (label == nullptr) {
        return {};
    }
    // Lays out and paints it as the screen would: markup would be read
    // here, and the images it names loaded.
    (void)label->sizeHint();
    (void)label->grab();
    const Qt::TextInteractionFlags links =
        Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard;
    return {label->text().toStdString(), label->textFormat(),
            (label->textInteractionFlags() & links) != 0 || label->openExternalLinks()};
}

class PlainTextQtTest : public MainDialogTest {
  protected:
    std::unique_ptr<ProbeFile> MakeProbe() {
        return std::make_unique<ProbeFile>(m_probeFolder / "probe.gif");
    }
    // A package of the given version whose parts have these names, of 1 KiB
    // each.
    void PublishNamed(const std::string& version, const std::vector<std::string>& names) {
        PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
        std::string index = "1\n" + version + "\n" + std::to_string(names.size()) + "\n1024\n";
        for (std::size_t i = 0; i < names.size(); ++i) {
            WriteFile(m_serverRoot / ("download/quindle7/" + names[i]),
                      PatternBytes(1024, static_cast<unsigned>(i + 1)));
            index += names[i] + "\n0\n";
        }
        WriteFile(m_serverRoot / "download/quindle7/pkgindex.txt", index);
    }
    static QLabel* Label(MainDialog& dialog, int id) {
        return qobject_cast<QLabel*>(ControlWidget(dialog, id));
    }

    TempDir m_probeFolder;
};

// The real boxes, each read as it shows and then answered.
class PlainTextQtBoxTest : public PlainTextQtTest {
  protected:
    struct Box {
        ShownLabel label;
        std::string text;
        bool probeTouched = false;
    };

    PlainTextQtBoxTest() {
        m_recorder = SetMessageBoxHandler({});
        InstallMessageBoxes();
    }
    ~PlainTextQtBoxTest() override {
        delete m_timer;
        SetMessageBoxHandler(m_recorder);
    }

    // Reads every box that opens from now on; `m_watched`, while set, is
    // the probe its text names.
    void ReadBoxes() {
        m_timer = new QTimer;
        QObject::connect(m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            Box read;
            read.text = box->text().toStdString();
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            read.label = Render(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")));
            (void)box->grab();
            read.probeTouched = m_watched != nullptr && m_watched->Touched();
            m_boxes.push_back(read);
            box->accept();
        });
        m_timer->start(10);
    }

    QTimer* m_timer = nullptr;
    MessageBoxHandler m_recorder;
    const ProbeFile* m_watched = nullptr;
    std::vector<Box> m_boxes;
};

TEST_F(PlainTextQtBoxTest, MarkupInAHeaderValueIsShownLiterallyInTheBox) {
    const PublishedPackage package = Publish(kPackageMain, 3);
    auto probe = MakeProbe();
    m_watched = probe.get();
    const std::string probed = "x <img src=\"" + probe->Path() + "\">";
    const std::string attack =
        "x <img src=\"/dev/zero\"> <a "
        "href=\"http://evil.example/fix\">http://download.velmora.example/fix</a>";
    const auto transferCoding = [](const std::string& value) {
        return Fault{.extraHeaders = "Transfer-Encoding: " + value + "\r\n"};
    };
    const auto sentence = [](const std::string& value) {
        Failure failure(FailureKind::TransferCoding);
        failure.text = value;
        return Render(failure);
    };
    m_server.SetFault(package.RemotePath(1), transferCoding(probed));
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        ReadBoxes();
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil([&] { return !m_boxes.empty(); }, "the worker's box"));
        WaitForWorker(*dialog);
        const Box first = m_boxes[0];
        EXPECT_NE(first.text.find(sentence(probed)), std::string::npos) << first.text;
        EXPECT_EQ(first.label.text, first.text) << "the label shows the text as it stands";
        EXPECT_EQ(first.label.format, Qt::PlainText);
        EXPECT_FALSE(first.label.linksReachable);
        ASSERT_FALSE(first.probeTouched) << "the box loaded the image its text names";
        ASSERT_FALSE(probe->Touched());

        // The attack itself: an image that never ends, a link whose text
        // is not its target.
        m_watched = nullptr;
        m_server.SetFault(package.RemotePath(1), transferCoding(attack));
        Click(*dialog, IDC_STOP);  // after a part failed for good, Stop comes first
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(WaitUntil([&] { return m_boxes.size() == 2; }, "the second box"));
        WaitForWorker(*dialog);
        const Box second = m_boxes[1];
        EXPECT_NE(second.text.find(sentence(attack)), std::string::npos) << second.text;
        EXPECT_EQ(second.label.text, second.text);
        EXPECT_EQ(second.label.format, Qt::PlainText);
        EXPECT_FALSE(second.label.linksReachable) << "no link in a box is one";
    });
    EXPECT_EQ(m_boxes.size(), 2u);
}

// A version made of character references is shown as it stands; one that
// names an image is refused before anything shows it, since no server name
// can hold a tag ("<" and ">" are not portable).
TEST_F(PlainTextQtTest, MarkupInAVersionIsShownLiterallyAndCrashesNothing) {
    auto probe = MakeProbe();
    const std::string literal = "&#60;img src=&#47;dev&#47;zero&#62;";
    const std::string probed = "<img src=\"" + probe->EntityPath() + "\">";
    PublishSiteList(m_serverRoot.Path(), "download.velmora.example");
    PublishPackage(m_serverRoot.Path(), kPackageMain, literal, 4096, 3 * 4096, 3);
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        ASSERT_TRUE(m_messages.Texts().empty()) << m_messages.Texts()[0];
        Settle();
        (void)WindowOf(*dialog).grab();
        const ShownLabel version = Render(Label(*dialog, IDC_VERSION));
        EXPECT_EQ(version.text, literal);
        EXPECT_EQ(version.format, Qt::PlainText);
        EXPECT_FALSE(version.linksReachable);
        const ShownLabel folder = Render(Label(*dialog, IDC_VERSION_FOLDER));
        EXPECT_EQ(folder.text, m_packageFolder / literal);
        EXPECT_EQ(folder.format, Qt::PlainText);
        // Assistive technology reads the same text.
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(ControlWidget(*dialog, IDC_VERSION));
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), literal);

        // The attack: the same package again, now of a version that is a tag.
        PublishPackage(m_serverRoot.Path(), kPackageMain, probed, 4096, 3 * 4096, 4);
        ChooseMenuEntry(*dialog, IDM_PACKAGE_MAIN);
        Settle();
        (void)WindowOf(*dialog).grab();
        EXPECT_EQ(m_messages.Texts(),
                  std::vector<std::string>{"File error: " + m_packageFolder / "pkgindex.txt"});
        EXPECT_FALSE(probe->Touched()) << "the window loaded the image the version names";
        EXPECT_FALSE(FileExists(m_packageFolder / probed));
    });
}

// Character references, since no part name can hold a tag.
TEST_F(PlainTextQtTest, MarkupInAPartNameIsShownLiterallyInThePartLabel) {
    const std::string probed = "&#60;b&#62;bold&#60;&#47;b&#62;.001";
    const std::string attack = "&#60;img src=&#47;dev&#47;zero&#62;.002";
    PublishNamed("7.6", {probed, attack});
    // Each part holds still once asked for, so that its label can be read:
    // the first once, the second always.
    m_server.SetFault("/download/quindle7/" + probed, Fault{.stallAfterBytes = 0, .times = 1});
    m_server.SetFault("/download/quindle7/" + attack, Fault{.stallAfterBytes = 0});
    auto dialog = MakeDialog();
    const auto partShown = [&](const std::string& name) {
        return WaitUntil(
            [&] {
                return Visible(*dialog, IDC_PART_LABEL) &&
                       dialog->GetDlgItemText(IDC_PART_LABEL) == name;
            },
            "the part label to show " + name);
    };
    RunModal(*dialog, [&] {
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(partShown(probed));
        Settle();
        (void)WindowOf(*dialog).grab();
        const ShownLabel first = Render(Label(*dialog, IDC_PART_LABEL));
        EXPECT_EQ(first.text, probed);
        EXPECT_EQ(first.format, Qt::PlainText);
        EXPECT_FALSE(first.linksReachable);
        Click(*dialog, IDC_STOP);
        WaitForWorker(*dialog);

        // Again: the first part arrives, the second holds still.
        Click(*dialog, IDC_DOWNLOAD);
        ASSERT_TRUE(partShown(attack));
        Settle();
        (void)WindowOf(*dialog).grab();
        const ShownLabel second = Render(Label(*dialog, IDC_PART_LABEL));
        EXPECT_EQ(second.text, attack);
        EXPECT_EQ(second.format, Qt::PlainText);
        EXPECT_TRUE(FileExists(VersionFolder() + "/" + probed)) << "the part is a file as named";
        Click(*dialog, IDOK);
    });
    EXPECT_TRUE(m_messages.Texts().empty());
}

TEST(PlainToolTipQtTest, ATooltipShowsItsTextLiterally) {
    const QString text = QStringLiteral(
        "3 of 8 MiB <img src=\"/dev/zero\"> & <a href=\"http://evil.example/\">"
        "http://download.velmora.example/</a>  two spaces");
    const QString tip = LiteralToolTip(text);
    // Qt reads it as markup (a tooltip always guesses)...
    EXPECT_TRUE(Qt::mightBeRichText(tip));
    // ...and that markup is the text, nothing else.
    QTextDocument document;
    document.setHtml(tip);
    EXPECT_EQ(document.toPlainText(), text);
    EXPECT_FALSE(tip.contains(QStringLiteral("<img"))) << tip.toStdString();
    EXPECT_FALSE(tip.contains(QStringLiteral("<a "))) << tip.toStdString();
    EXPECT_TRUE(LiteralToolTip(QString()).isEmpty()) << "no text, no tooltip";
}

}  // namespace
