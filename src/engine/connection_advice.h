#pragma once

#include <string>

// The message for a fetch of the preparation that failed: its error text,
// then what usually causes it and what the user can do.
std::string ConnectionAdvice(const std::string& error);
