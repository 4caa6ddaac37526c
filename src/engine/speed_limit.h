#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "framework/failure.h"
#include "transfer/download_file.h"

class OwnFolder;

// The user's speed limit for the parts, in KiB/s, kept in the package
// folder (speed-limit.txt: the number and a line end) so that every start,
// the desktop launcher's too, keeps it. No file: no limit.

// The least limit is above the floor under which a server counts as too
// slow: a limit below it would fail every part it holds.
inline constexpr std::int64_t kLeastSpeedLimitKiB =
    FetchLimits{}.slowFloorBytesPerSecond / 1024 + 1;
// 1 GiB/s: more than any link this program is for.
inline constexpr std::int64_t kMostSpeedLimitKiB = 1 << 20;

// A limit as the user or the file writes it: digits within the bounds, or
// 0 or nothing for none; blanks around it and a line end are allowed.
// Empty for anything else.
std::optional<std::int64_t> ParseSpeedLimit(std::string_view text);

// The saved limit; 0 without one, and for anything at the name that is not
// a small regular file of ours holding a limit.
std::int64_t ReadSpeedLimit(const OwnFolder& packageFolder);

// Saves the limit durably, or removes the file for 0.
Outcome SaveSpeedLimit(const OwnFolder& packageFolder, std::int64_t kibPerSecond);
