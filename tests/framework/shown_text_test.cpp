#include "framework/shown_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What a server sends is shown as it stands, but nothing in it may change how
// the rest of a message reads without being seen.
TEST(ShownTextTest, ControlsAndHiddenCharactersAreWrittenOut) {
    EXPECT_EQ(ShownAsItStands("plain <b>text</b> & more"), "plain <b>text</b> & more");
    EXPECT_EQ(ShownAsItStands("a\r\nb\tc\x1b[31m\x7f"), "a\\x0D\\x0Ab\\x09c\\x1B[31m\\x7F");
    // Right-to-left override, an isolate, a mark, the Arabic letter mark.
    EXPECT_EQ(ShownAsItStands("exe.\xE2\x80\xAEtxt"), "exe.\\u202Etxt");
    EXPECT_EQ(ShownAsItStands("\xE2\x81\xA6x\xE2\x80\x8F\xD8\x9C"), "\\u2066x\\u200F\\u061C");
    // Line and paragraph separators, and a C1 control (NEL).
    EXPECT_EQ(ShownAsItStands("a\xE2\x80\xA8"
                              "b\xE2\x80\xA9"
                              "c\xC2\x85"),
              "a\\u2028b\\u2029c\\u0085");
    // Other characters stand: an accent, a non-breaking space, an emoji.
    EXPECT_EQ(ShownAsItStands("caf\xC3\xA9\xC2\xA0\xF0\x9F\x99\x82"),
              "caf\xC3\xA9\xC2\xA0\xF0\x9F\x99\x82");
}

TEST(ShownTextTest, LongTextIsCutAtAWholeCharacter) {
    EXPECT_EQ(ShownAsItStands(std::string(5000, 'x')), std::string(kMaxShownOutsideText, 'x'));
    // A two-byte character across the cut goes whole.
    const std::string accented = std::string(kMaxShownOutsideText - 1, 'x') + "\xC3\xA9tail";
    EXPECT_EQ(ShownAsItStands(accented), std::string(kMaxShownOutsideText - 1, 'x'));
    // Bytes that are not UTF-8 are cut where they stand, never to nothing.
    EXPECT_EQ(ShownAsItStands(std::string(2000, '\x80')).size(), kMaxShownOutsideText - 3);
}

}  // namespace
