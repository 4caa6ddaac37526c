#include "app/program_start.h"

#include <gtest/gtest.h>

#include "../ui/gui_helpers.h"
#include "app/desktop_shortcut.h"
#include "support/temp_dir.h"

namespace {

// The first start says what went wrong with the shortcut; the copy it
// starts writes it again and says nothing, and takes the mark so that it
// goes no further.
TEST(ShortcutSaidOnceTest, TheCopyOfAFirstStartDoesNotSayItAgain) {
    TempDir dir;
    MessageRecorder messages;
    const std::string nowhere = dir / "no-such-desktop";
    EXPECT_FALSE(TakeShortcutSaidMark()) << "no mark without a first start";
    CreateDesktopShortcut(dir / "VELMORA_QUINDLE_7", nowhere, "", "", !TakeShortcutSaidMark());
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Failed to save quindle shortcut"});

    MarkShortcutSaid();
    messages.Clear();
    CreateDesktopShortcut(dir / "VELMORA_QUINDLE_7", nowhere, "", "", !TakeShortcutSaidMark());
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_FALSE(TakeShortcutSaidMark()) << "the mark is taken once";
}

}  // namespace
