#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "framework/failure.h"

class OwnFolder;

// What the maker's signature says of a release, in its trusted comment:
//
//   package:<publisher name> timestamp:<unix seconds> version:<version>
//
// the version last, since it runs to the end of the line (it may hold
// blanks). The signing time orders releases: a version's text cannot tell a
// pre-release from a later patch ("7.3 beta", "7.2b"), the time it was
// signed can.
struct SignedRelease {
    std::string package;
    std::int64_t signedAt = 0;
    std::string version;
};

std::string ReleaseComment(const SignedRelease& release);
// False for any other shape: each of the three missing, out of order, a
// time that is not a number of seconds, a line break.
bool ParseReleaseComment(const std::string& comment, SignedRelease& release);

// A signature dated further ahead of the user's clock than this is refused:
// a wrong clock on the maker's side must not lock users out of every later
// release.
inline constexpr std::int64_t kMostSignedAheadSeconds = 24 * 60 * 60;

// The newest signed release accepted for each package in a package folder,
// so that a release signed earlier and served later is refused (no
// rollback). Kept in the package folder's signed-versions.txt, one line per
// package:
//
//   <publisher name> timestamp:<unix seconds> <version>
//
// with the version running to the end of the line. A line "<publisher
// name> <version>" of the program before signing times were recorded names
// no time: any signed release is taken once over it, and the line is
// rewritten. A line of any other shape is passed over. Cleanup leaves the
// file alone.
class SignedVersions {
  public:
    // A missing file is an empty record. CannotRecordRelease, with the
    // file's path, when something is at the name that is not a readable
    // regular file of a sane size; it is never replaced.
    Outcome Read(const OwnFolder& folder);

    struct Recorded {
        bool hasTime = false;
        std::int64_t signedAt = 0;
        std::string version;
    };
    // What is recorded for the package, or null.
    const Recorded* Find(const std::string& package) const;

    // Whether the release may be taken, with `now` the user's clock: else
    // SignedAhead, or OlderRelease with the release's version and the one
    // recorded.
    Outcome Judge(const SignedRelease& release, std::int64_t now) const;
    // Records the release when it was signed later than what is recorded
    // (or over a record without a time), and saves the record durably;
    // false when it had to be saved and could not be.
    bool Accept(const OwnFolder& folder, const SignedRelease& release);

  private:
    std::map<std::string, Recorded> m_recorded;
};
