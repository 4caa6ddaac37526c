#pragma once

#include <map>
#include <string>

class OwnFolder;

// The trusted comment of a signed release: "package:<publisher name>
// version:<version>", the version running to the end of the line.
std::string ReleaseComment(const std::string& package, const std::string& version);
// The package and version a comment names; false for any other shape (the
// older "version:<version>" alone included).
bool ParseReleaseComment(const std::string& comment, std::string& package, std::string& version);

// Orders two versions: field by field on "."; within a field, runs of
// digits compare as numbers and other runs byte by byte (so a field of
// digits only compares numerically); where all shared fields are equal, the
// one with more fields is the newer ("7.1" < "7.1.1" < "7.2", "7.9" <
// "7.10" < "7.10a", "7.2 beta" < "7.2b"). Negative, 0 or positive as a is
// older than, equal to or newer than b.
int CompareVersions(const std::string& a, const std::string& b);

// The newest signed version accepted for each package in a package folder,
// so that an older signed release served later is refused (no rollback).
// Kept in the package folder's signed-versions.txt, one line per package:
//
//   <publisher name> <version>
//
// with the version running to the end of the line (it may hold blanks). A
// line of any other shape is passed over. Cleanup leaves the file alone.
class SignedVersions {
  public:
    enum class Load { Read, Missing, Unreadable };
    // Unreadable: something is at the name that is not a readable regular
    // file of a sane size; it is never replaced.
    Load Read(const OwnFolder& folder);
    // The newest version accepted for the package, or null.
    const std::string* NewestFor(const std::string& package) const;
    // Records `version` when it is newer than what is recorded, and saves
    // the record durably; false when it had to be saved and could not be.
    bool Accept(const OwnFolder& folder, const std::string& package, const std::string& version);

  private:
    std::map<std::string, std::string> m_newest;
};
