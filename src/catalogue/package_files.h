#pragma once

// The files of a download, on the server and in the package folder (the
// folder of the running program):
//
//   sites.txt                    site list, fetched from /download/sites
//   pkgindex.txt                 the server's index of the current package
//   velmora.lock                 held locked while a program runs for this folder
//   signed-versions.txt          the signing time and version of the release
//                                last accepted per package
//   speed-limit.txt              the user's speed limit for the parts, in
//                                KiB/s; none without the file
//   .velmora-install/velmora.exe the installer as handed to whatever opens it:
//                                a second name for the checked one (or a
//                                checked copy), in a folder only the user
//                                can change; its "." keeps server names off
//   <version>[/<voice>]/         version folder: the parts, the resume state
//                                (pkgindex.txt), the joined velmora.exe and
//                                velmora.exe.checked, the identity of the
//                                installer as its checksum was last checked;
//                                while the parts arrive, the installer grows
//                                as velmora.exe.partial, and velmora.exe.joined
//                                records how much of it is known to be on disk

inline constexpr char kSiteListRemotePath[] = "/download/sites";
inline constexpr char kSiteListFileName[] = "sites.txt";
inline constexpr char kIndexFileName[] = "pkgindex.txt";
inline constexpr char kInstallerFileName[] = "velmora.exe";
inline constexpr char kLockFileName[] = "velmora.lock";
inline constexpr char kHandOverFolderName[] = ".velmora-install";
inline constexpr char kSignedVersionsFileName[] = "signed-versions.txt";
inline constexpr char kSpeedLimitFileName[] = "speed-limit.txt";
inline constexpr char kInstallerIdentityFileName[] = "velmora.exe.checked";
// A resume state that cannot be read, put aside by Cleanup under the first
// free name ".pkgindex-unreadable-<n>.txt" in its version folder: never
// deleted or overwritten, and a folder holding one is the program's own.
inline constexpr char kSetAsideIndexPrefix[] = ".pkgindex-unreadable-";
inline constexpr char kSetAsideIndexSuffix[] = ".txt";
// The maker's list of checksums and its signature, published beside the
// index and kept in the version folder once checked.
inline constexpr char kChecksumsFileName[] = "SHA256SUMS";
inline constexpr char kSignatureFileName[] = "SHA256SUMS.minisig";
// The signature's trusted comment names the package, the signing time and
// the version it is for: "package:<publisher name> timestamp:<unix seconds>
// version:<version>", the version running to the end of the line.
inline constexpr char kPackageCommentPrefix[] = "package:";
inline constexpr char kTimestampCommentPrefix[] = " timestamp:";
inline constexpr char kVersionCommentPrefix[] = " version:";
// The record of signing times in signed-versions.txt.
inline constexpr char kTimestampRecordPrefix[] = "timestamp:";
inline constexpr int kHttpPort = 80;
// Files written beside the resume state, the installer and the program copy
// until they are complete, then renamed over them.
inline constexpr char kSaveTemporarySuffix[] = ".tmp";
inline constexpr char kPartialSuffix[] = ".partial";
// Beside the growing installer: how much of it is known to be on disk.
inline constexpr char kJoinRecordSuffix[] = ".joined";

// The most the server may send for the site list (only its first line is
// read) and for its index (a million parts with names of up to 60 bytes).
inline constexpr long long kMaxSiteListBytes = 64 * 1024;
inline constexpr long long kMaxIndexBytes = 64 * 1024 * 1024;
// A signature is 4 lines; the list of checksums is bounded by its index
// (ChecksumList::MaxBytesFor).
inline constexpr long long kMaxSignatureBytes = 4096;
