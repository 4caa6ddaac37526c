#pragma once

#include <string>

// The string resources by ID: the package entries (32, 48, 64, from the
// package table), 101 and 103; empty for an unknown ID.
std::string LoadStringResource(int id);
