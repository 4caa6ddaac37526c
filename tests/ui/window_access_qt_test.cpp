// How the window reads to assistive technology and from the keyboard, in
// Qt's terms.

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QTest>

#include "main_dialog_fixture.h"
#include "widgets/qt/dialog_window.h"

namespace {

using namespace res;

using WindowAccessQtTest = MainDialogTest;

TEST_F(WindowAccessQtTest, TheValueLabelsReadAsWhatTheyShow) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        const std::pair<int, std::string> values[] = {{IDC_VERSION_FOLDER, VersionFolder()},
                                                      {IDC_VERSION, "7.6"}};
        const std::pair<int, std::string> descriptions[] = {
            {IDC_VERSION_FOLDER, "Package download folder"},
            {IDC_VERSION, "Velmora Product Version"}};
        for (std::size_t i = 0; i < 2; ++i) {
            const auto& [id, value] = values[i];
            QAccessibleInterface* label =
                QAccessible::queryAccessibleInterface(ControlWidget(*dialog, id));
            ASSERT_NE(label, nullptr) << id;
            EXPECT_EQ(label->text(QAccessible::Name).toStdString(), value) << id;
            EXPECT_EQ(label->text(QAccessible::Description).toStdString(), descriptions[i].second);
            QAccessibleTextInterface* text = label->textInterface();
            ASSERT_NE(text, nullptr) << id << ": no text interface";
            EXPECT_EQ(text->text(0, text->characterCount()).toStdString(), value) << id;
        }
    });
}

TEST_F(WindowAccessQtTest, ThePackageEntriesAreAChoiceAndTheMenuOpensFromTheKeyboard) {
    Publish();
    auto dialog = MakeDialog();
    RunModal(*dialog, [&] {
        WindowOf(*dialog).activateWindow();
        WaitUntil([&] { return dialog->IsActive(); }, "the window to be active");
        QTest::keyClick(&WindowOf(*dialog), Qt::Key_F10, Qt::ShiftModifier);
        QMenu* menu = nullptr;
        ASSERT_TRUE(WaitUntil(
            [&] {
                for (QMenu* candidate : WindowOf(*dialog).findChildren<QMenu*>()) {
                    menu = candidate->isVisible() ? candidate : menu;
                }
                return menu != nullptr;
            },
            "the window menu to open on Shift+F10"));
        int packages = 0;
        for (QAction* action : menu->actions()) {
            if (PackageForMenuCommand(action->data().toInt()) != nullptr) {
                ++packages;
                EXPECT_TRUE(action->isCheckable()) << action->text().toStdString();
                EXPECT_EQ(action->isChecked(), action->data().toInt() == IDM_PACKAGE_MAIN);
            }
        }
        EXPECT_EQ(packages, 3);
        menu->close();
    });
}

}  // namespace
