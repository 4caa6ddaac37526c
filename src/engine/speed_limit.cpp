#include "engine/speed_limit.h"

#include <string>

#include "catalogue/package_files.h"
#include "framework/durable_file.h"
#include "framework/own_files.h"
#include "framework/text_mode.h"

namespace {

// A number, a line end and some slack; more is not a file of ours.
constexpr std::size_t kMaxFileBytes = 64;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::optional<std::int64_t> ParseSpeedLimit(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > kMostSpeedLimitKiB) {
            return std::nullopt;
        }
    }
    if (value != 0 && value < kLeastSpeedLimitKiB) {
        return std::nullopt;
    }
    return value;
}

std::int64_t ReadSpeedLimit(const OwnFolder& packageFolder) {
    std::string text;
    if (!ReadOwnFile(packageFolder, kSpeedLimitFileName, kMaxFileBytes, text)) {
        return 0;
    }
    return ParseSpeedLimit(text).value_or(0);
}

Outcome SaveSpeedLimit(const OwnFolder& packageFolder, std::int64_t kibPerSecond) {
    if (kibPerSecond == 0) {
        EntryInfo there;
        if (StatOwnEntry(packageFolder, kSpeedLimitFileName, there) &&
            !RemoveOwnFile(packageFolder, kSpeedLimitFileName)) {
            return Failure::WithPath(FailureKind::FailedToWriteFile,
                                     packageFolder.PathOf(kSpeedLimitFileName));
        }
        return {};
    }
    DurableReplacement file(packageFolder, kSpeedLimitFileName, kSaveTemporarySuffix);
    file.Write(std::to_string(kibPerSecond) + kLineEnd);
    return file.Commit();
}
