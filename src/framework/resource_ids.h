#pragma once

// Every numeric identifier of the user interface: dialog templates, control
// IDs, command IDs and string resources. The download library addresses the
// controls it touches through these, the windows build themselves from them.

// windows.h defines four of these names as macros of the same values; once
// it is in, they are the program's own (include this header after it).
#ifdef _WIN32
#undef IDOK
#undef IDCANCEL
#undef SC_MINIMIZE
#undef SC_CLOSE
#endif

namespace res {

// Icon and bitmap.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDB_BANNER = 151;

// Standard dialog commands.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;

// Main dialog.
inline constexpr int IDC_PROGRESS_OVERALL = 1000;
inline constexpr int IDC_PROGRESS_PART = 1001;
inline constexpr int IDC_PART_LABEL = 1002;
inline constexpr int IDC_DOWNLOAD = 1003;
inline constexpr int IDC_STOP = 1004;
inline constexpr int IDC_INSTALL = 1005;
inline constexpr int IDC_VERSION_FOLDER = 1006;
inline constexpr int IDC_VERSION = 1007;
inline constexpr int IDC_PROXY = 1010;
inline constexpr int IDC_PACKAGE_GROUP = 1013;
inline constexpr int IDC_CLEANUP = 1014;

// Package folder dialog.
inline constexpr int IDC_CHOOSE_FOLDER = 1007;
inline constexpr int IDC_FOLDER = 1008;

// Proxy dialog.
inline constexpr int IDC_PROXY_HOST = 1011;
inline constexpr int IDC_PROXY_PORT = 1012;

// Speed limit dialog.
inline constexpr int IDC_SPEED_LIMIT = 1015;

// Window menu commands. The program's own entries keep their low four bits
// clear, so a command is recognised by its bits under kSysCommandMask. The
// package entries' texts are the string resources of the same IDs.
inline constexpr int kSysCommandMask = 0xFFF0;
inline constexpr int IDM_ABOUTBOX = 0x10;
inline constexpr int IDM_PACKAGE_MAIN = 0x20;
inline constexpr int IDM_PACKAGE_TOBRIN = 0x30;
inline constexpr int IDM_PACKAGE_VESSA = 0x40;
inline constexpr int IDM_SPEED_LIMIT = 0x50;
inline constexpr int SC_MINIMIZE = 0xF020;
inline constexpr int SC_CLOSE = 0xF060;

// String resources besides the package entries' (32, 48, 64).
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDP_SOCKETS_INIT_FAILED = 103;

// The desktop entry ID of the program's entry in the applications menu, by
// which the desktop also knows its window and its taskbar entry.
inline constexpr char kMenuEntryId[] = "velmora-quindle-7";

}  // namespace res
