#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "framework/failure.h"

// The catalogue's sentence for a kind, its placeholders unfilled.
const char* SentenceOf(FailureKind kind);

// The failure as the user reads it: its kind's sentence with every
// placeholder filled, each subject that came from the disk or the server
// escaped on the way (ShownAsItStands), so that none of them can pass for
// part of the sentence.
std::string Render(const Failure& failure);

// One of the catalogue's other sentences with its placeholders filled from
// the program's own values (figures, the package's name, its own address),
// which are not escaped: nothing from outside may be passed here.
std::string Compose(std::string_view sentence,
                    std::initializer_list<std::pair<std::string_view, std::string>> values);
