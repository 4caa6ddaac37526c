#pragma once

#include <string>

#include "framework/failure.h"

// The catalogue's sentence for a kind, its placeholders unfilled.
const char* SentenceOf(FailureKind kind);

// The failure as the user reads it: its kind's sentence with every
// placeholder filled, each subject that came from the disk or the server
// escaped on the way (ShownAsItStands), so that none of them can pass for
// part of the sentence.
std::string Render(const Failure& failure);
