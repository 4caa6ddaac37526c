#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include "dialog_layouts.h"
#include "gui_helpers.h"
#include "support/temp_dir.h"
#include "ui/about_dialog.h"
#include "ui/folder_dialog.h"
#include "ui/main_dialog.h"
#include "ui/proxy_dialog.h"
#include "widgets/qt/dialog_window.h"

namespace {

using namespace layout;

bool IsKind(QWidget* widget, Kind kind) {
    auto* button = qobject_cast<QPushButton*>(widget);
    auto* label = qobject_cast<QLabel*>(widget);
    switch (kind) {
        case Button:
            return button != nullptr && !button->isDefault();
        case DefButton:
            return button != nullptr && button->isDefault();
        case Text:
            return label != nullptr && label->pixmap().isNull();
        case Picture:
            return label != nullptr && !label->pixmap().isNull();
        case Group:
            return qobject_cast<QGroupBox*>(widget) != nullptr;
        case Progress:
            return qobject_cast<QProgressBar*>(widget) != nullptr;
        case Edit:
            return qobject_cast<QLineEdit*>(widget) != nullptr;
    }
    return false;
}

// Dialog units as the dialog font gives them: a quarter of the letters'
// average width (rounded up), an eighth of the line height.
QRect ExpectedRect(const Dialog& dialog, int x, int y, int cx, int cy) {
    const QFontMetrics metrics(WindowOf(dialog).font());
    const int baseX = (metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) +
                       51) /
                      52;
    const int baseY = metrics.height();
    const auto scale = [](int v, int base, int div) { return (v * base + div / 2) / div; };
    return QRect(scale(x, baseX, 4), scale(y, baseY, 8), scale(cx, baseX, 4), scale(cy, baseY, 8));
}

void CheckLayout(Dialog& dialog, const std::string& title, int cx, int cy,
                 const std::vector<Expected>& layout) {
    EXPECT_EQ(WindowOf(dialog).windowTitle().toStdString(), title);
    EXPECT_EQ(WindowOf(dialog).size(), ExpectedRect(dialog, 0, 0, cx, cy).size()) << title;
    const auto& controls = WindowOf(dialog).Controls();
    ASSERT_EQ(controls.size(), layout.size()) << title;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const Expected& expected = layout[i];
        QWidget* widget = controls[i];
        SCOPED_TRACE(title + ", control " + std::to_string(i) + " (" + std::to_string(expected.id) +
                     ")");
        if (expected.id != -1) {
            EXPECT_EQ(ControlWidget(dialog, expected.id), widget);
        }
        EXPECT_TRUE(IsKind(widget, expected.kind));
        if (expected.kind != Picture && expected.kind != Progress && expected.kind != Edit) {
            EXPECT_EQ(WidgetText(widget), expected.caption);
        }
        EXPECT_EQ(widget->geometry(),
                  ExpectedRect(dialog, expected.x, expected.y, expected.cx, expected.cy));
        EXPECT_EQ(widget->isEnabled(), expected.enabled);
    }
}

TEST(DialogLayoutQtTest, MainDialogFollowsItsTemplate) {
    TempDir folder;
    MessageRecorder messages;  // the preparation finds no server here
    MainDialog dialog;
    dialog.m_download.m_strProgramPath = folder / "VELMORA_QUINDLE_7";
    dialog.m_download.SetProxy("127.0.0.1:9");
    RunModal(dialog, [&] {
        CheckLayout(dialog, "Velmora Software Quindle", 291, 277, MainLayoutWithoutServer());
        for (int i : {5, 10, 11}) {
            EXPECT_EQ(dialog.Template().controls[static_cast<std::size_t>(i)].caption,
                      kMainLayout[static_cast<std::size_t>(i)].caption);
        }
        dialog.EndDialog(2);
    });
}

TEST(DialogLayoutQtTest, FolderDialogFollowsItsTemplate) {
    FolderDialog dialog;
    RunModal(dialog, [&] {
        auto layout = kFolderLayout;
        layout[2].caption = dialog.m_strFolder;
        CheckLayout(dialog, "Package Download Folder", 316, 77, layout);
        EXPECT_EQ(WidgetText(ControlWidget(dialog, 1008)), dialog.m_strFolder);
        EXPECT_EQ(dialog.GetSystemMenu(), nullptr) << "no system menu";
        EXPECT_FALSE(WindowOf(dialog).windowFlags().testFlag(Qt::WindowCloseButtonHint))
            << "no close box";
        dialog.EndDialog(2);
    });
}

TEST(DialogLayoutQtTest, ProxyDialogFollowsItsTemplate) {
    ProxyDialog dialog;
    RunModal(dialog, [&] {
        CheckLayout(dialog, "Set Http Proxy Server", 227, 173, kProxyLayout);
        EXPECT_EQ(WidgetText(ControlWidget(dialog, 1012)), "0");
        EXPECT_EQ(WidgetText(ControlWidget(dialog, 1011)), "");
        dialog.EndDialog(2);
    });
}

TEST(DialogLayoutQtTest, ControlsAreNamedForAssistiveTechnologyAndReachableByKeyboard) {
    TempDir folder;
    MessageRecorder messages;
    MainDialog dialog;
    dialog.m_download.m_strProgramPath = folder / "VELMORA_QUINDLE_7";
    dialog.m_download.SetProxy("127.0.0.1:9");
    RunModal(dialog, [&] {
        const std::pair<int, const char*> names[] = {
            {1, "Done"},
            {1003, "Download"},
            {1004, "Stop"},
            {1010, "Proxy..."},
            {1014, "Cleanup"},
            {1005, "Click Here to install Velmora Software"},
            {1000, "Overall status"},
            {1001, "Part"},
        };
        for (const auto& [id, name] : names) {
            EXPECT_EQ(ControlWidget(dialog, id)->accessibleName().toStdString(), name) << id;
        }
        for (int id : {1, 1003, 1004, 1010, 1014, 1005}) {
            EXPECT_TRUE(ControlWidget(dialog, id)->focusPolicy() & Qt::TabFocus) << id;
        }
        dialog.EndDialog(2);
    });
    ProxyDialog proxy;
    RunModal(proxy, [&] {
        EXPECT_EQ(ControlWidget(proxy, 1011)->accessibleName().toStdString(), "Proxy Server");
        EXPECT_EQ(ControlWidget(proxy, 1012)->accessibleName().toStdString(), "Port");
        proxy.EndDialog(2);
    });
}

TEST(DialogLayoutQtTest, AboutBoxShowsTheProgramAndItsVersion) {
    AboutDialog about;
    RunModal(about, [&] {
        EXPECT_EQ(WindowOf(about).size(), ExpectedRect(about, 0, 0, 235, 55).size());
        EXPECT_EQ(WidgetText(WindowOf(about).Controls()[1]), "Velmora Quindle Version 1.0");
        EXPECT_FALSE(qobject_cast<QLabel*>(WindowOf(about).Controls()[0])->pixmap().isNull())
            << "icon 128";
        Click(about, 1);
    });
}

}  // namespace
