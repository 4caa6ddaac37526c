#pragma once

#include <string>

// The string resources by ID (32, 48, 64, 101, 103, 57344); empty for an
// unknown ID.
std::string LoadStringResource(int id);
