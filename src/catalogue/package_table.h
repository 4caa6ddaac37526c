#pragma once

#include <string>

// The three packages and everything the program knows of each, in one table:
// where it lies on the server and on disk, the program file that downloads
// it, its entry in the window menu, its caption and its name for the
// publisher.

// 0 the main package, 1 the "Tobrin" voice package, 2 the "Vessa" voice package.
using PackageId = int;
inline constexpr PackageId kPackageMain = 0;
inline constexpr PackageId kPackageTobrin = 1;
inline constexpr PackageId kPackageVessa = 2;
inline constexpr int kPackageCount = 3;

// The package in use; 0 at every start, changed only by the package choice.
extern PackageId g_currentPackage;

struct PackageInfo {
    PackageId id;
    const char* serverFolder;  // "/download/quindle7"
    // The version folder's subfolder for this package; empty for the main
    // package, whose version folder is the folder itself.
    const char* voiceFolder;
    const char* programName;  // "VELMORA_QUINDLE_7"
    // The window-menu command; its text is the string resource of that ID.
    int menuCommand;
    const char* menuText;
    const char* caption;        // of the group box "Download Info"
    const char* displayName;    // what notices call it
    const char* publisherName;  // velmora-publish --package NAME
};

// The row of a package; an unknown id gives the main package's row.
const PackageInfo& PackageInfoFor(PackageId id);
// The row whose window-menu command or publisher name this is, or null.
const PackageInfo* PackageForMenuCommand(int command);
const PackageInfo* PackageForPublisherName(const std::string& name);

// "/download/quindle7", "/download/ttstobrin" or "/download/ttsvessa"; any
// unknown id gives the main package's folder.
std::string ServerFolderForPackage(PackageId id);

// The version folder of a voice package lies one level deeper, in a folder
// named after the voice; the main package's is the folder itself.
std::string AppendVoiceFolder(PackageId id, const std::string& folder);
