#pragma once

#include <string>

// Where a package lives, on the server and on disk, and which package is in
// use. The package folder is the folder of the running program; below it:
//
//   sites.txt                    site list, fetched from /download/sites
//   pkgindex.txt                 the server's index of the current package
//   <version>[/<voice>]/         version folder: the parts, the resume state
//                                (pkgindex.txt) and the joined velmora.exe

// 0 the main package, 1 the "Tobrin" voice package, 2 the "Vessa" voice package.
using PackageId = int;
inline constexpr PackageId kPackageMain = 0;
inline constexpr PackageId kPackageTobrin = 1;
inline constexpr PackageId kPackageVessa = 2;

// The package in use; 0 at every start, changed only by the package choice.
extern PackageId g_currentPackage;

inline constexpr char kSiteListRemotePath[] = "/download/sites";
inline constexpr char kSiteListFileName[] = "sites.txt";
inline constexpr char kIndexFileName[] = "pkgindex.txt";
inline constexpr char kInstallerFileName[] = "velmora.exe";
inline constexpr int kHttpPort = 80;
// Files written beside the resume state and the installer until they are
// complete, then renamed over them.
inline constexpr char kSaveTemporarySuffix[] = ".tmp";
inline constexpr char kJoinTemporarySuffix[] = ".partial";

// "/download/quindle7", "/download/ttstobrin" or "/download/ttsvessa"; any
// unknown id gives the main package's folder.
std::string ServerFolderForPackage(PackageId id);

// The version folder of a voice package lies one level deeper, in a folder
// named after the voice; the main package's is the folder itself.
std::string AppendVoiceFolder(PackageId id, const std::string& folder);

// True for a name that can safely become one path element: not empty, not
// "." or "..", no "/" or "\", no control character, at most 255 bytes.
bool IsPlainFileName(const std::string& name);

// True for the names the program itself uses in a version folder, which no
// part may take.
bool IsReservedFileName(const std::string& name);
