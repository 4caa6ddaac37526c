#pragma once

class ChecksumList;
class DownloadState;
class OwnFolder;
class PackageIndex;
struct SignedRelease;

enum class ChecksumsFound {
    None,     // the server has none (and the build names no key)
    Present,  // checked and to be used
    Refused,  // the user has been told why; nothing may be downloaded
};

// Fetches the maker's list of checksums (and, when the build names a key, its
// signature) from beside the server's index into the package folder, and
// checks it before anything is written to a version folder: with a key the
// signature must be there, be the maker's, name this package and this
// version (`release` then holds what it says), must not be dated more than
// a day ahead of the user's clock, and must not have been signed before the
// release this package folder has accepted for the package; the list must name
// every part of `published`, the installer, and the index as it was fetched
// into the package folder (so that the index cannot be changed apart from
// the list). A 404 means there is none.
ChecksumsFound FetchChecksums(DownloadState& state, const OwnFolder& packageFolder,
                              const PackageIndex& published, ChecksumList& list,
                              SignedRelease& release);

// Once the version folder is open: moves the checked files into it and,
// with a key, records the release as the newest accepted for the package.
// Shows its own message and returns false when it cannot.
bool KeepChecksums(const DownloadState& state, const OwnFolder& packageFolder,
                   const OwnFolder& versionFolder, ChecksumsFound found,
                   const SignedRelease& release);

// The done flags of the resume state were earned under the checksums then
// in the version folder. Clears the flag of every done part whose checksum
// in `list` (the one accepted now) differs from that list's, or, with no
// earlier list, whose file does not match `list`; and saves the resume
// state when a flag changed, before the new list takes the old one's place,
// so that no crash between the two can lose the difference. False, having
// said why, when the resume state cannot be saved.
bool ClearChangedParts(PackageIndex& resume, const OwnFolder& versionFolder,
                       const ChecksumList& list);

// Gives the download state the digest of each part of its resume state, in
// order, and of the installer; false when the list lacks one.
bool TakeDigests(const ChecksumList& list, DownloadState& state);
