#pragma once

#include <string>
#include <string_view>

// The line end of text files on this platform: "\n" here, "\r\n" on
// Windows, where files the program writes in text mode end their lines as
// the C library's text mode does.
extern const char kLineEnd[];

// `text` as text mode writes it: each line feed becomes kLineEnd.
std::string InTextMode(std::string_view text);
// `stored` as text mode reads it: each kLineEnd becomes a line feed.
std::string FromTextMode(std::string_view stored);
