#pragma once

#include <string>
#include <string_view>

// The most of a text from outside that a message shows, as the fetch's
// error texts are cut.
inline constexpr std::size_t kMaxShownOutsideText = 1023;

// A text that came from outside the program (a header value, a version, a
// part name, an error text) as a message may show it: cut at
// kMaxShownOutsideText bytes (never inside a UTF-8 sequence), with control
// characters written as "\xNN", and the Unicode characters that change how
// the rest reads without being seen (direction controls, which would turn
// the rest of the message around, line separators, C1 controls) as
// "\u202E" and the like, so that what is shown is what arrived. Everything
// else stands as it is.
std::string ShownAsItStands(std::string_view text);
