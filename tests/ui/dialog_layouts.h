#pragma once

// The layouts as published for the three dialogs, written out here on their
// own so that a slip in the templates shows; each window system's layout
// test checks its windows against them.

#include <string>
#include <vector>

#include "framework/build_config.h"

namespace layout {

enum Kind { Button, DefButton, Text, Group, Progress, Edit, Picture };

struct Expected {
    int id;
    Kind kind;
    std::string caption;
    int x, y, cx, cy;
    bool enabled = true;
};

inline const std::vector<Expected> kMainLayout = {
    {1, DefButton, "Done", 202, 243, 82, 17},
    {1000, Progress, "", 75, 93, 197, 10},
    {-1, Text, "Overall status", 15, 94, 51, 11},
    {1001, Progress, "", 75, 108, 197, 10},
    {1002, Text, "Part", 15, 108, 51, 11},
    {1013, Group, "Download Info", 7, 7, 277, 69},
    {1003, Button, "Download", 75, 124, 59, 17},
    {-1, Text,
     "You can stop download anytime and continue at a later time. Quindle will start from where "
     "it has left. Question? Please contact  " +
         std::string(config::kSupportAddress),
     15, 148, 258, 27},
    {1005, Button, "Click Here\nto install\nVelmora Software", 202, 202, 82, 33},
    {-1, Picture, "", 7, 202, 134, 58},
    {1006, Text, "C:", 26, 47, 229, 21},
    {1007, Text, "Version", 112, 21, 123, 11},
    {-1, Text, "Velmora Product Version: ", 16, 21, 84, 11},
    {-1, Text, "Package download folder:", 15, 34, 122, 11},
    {1004, Button, "Stop", 140, 124, 36, 17},
    {1010, Button, "Proxy...", 236, 124, 36, 17},
    {-1, Group, "Download Status", 7, 79, 277, 106},
    {1014, Button, "Cleanup", 181, 124, 42, 17},
};

inline const std::vector<Expected> kFolderLayout = {
    {1, DefButton, "OK", 259, 56, 50, 14},
    {1007, Button, "Choose Another Folder...", 7, 54, 129, 16},
    {1008, Edit, "", 7, 35, 302, 13, false},
    {-1, Text,
     "Please choose a folder for storing Velmora installation package.\nClick OK to accept the "
     "default folder",
     7, 7, 302, 24},
};

inline const std::vector<Expected> kProxyLayout = {
    {1, DefButton, "OK", 113, 152, 50, 14},
    {2, Button, "Cancel", 170, 152, 50, 14},
    {-1, Group, "Proxy Server", 7, 7, 213, 141},
    {-1, Text,
     "If download failed because you have to use an HTTP proxy server , please set it up here. "
     "Otherwise, don't set anything.",
     13, 21, 200, 21},
    {1011, Edit, "", 14, 70, 88, 14},
    {1012, Edit, "", 122, 70, 35, 14},
    {-1, Text, "Proxy Server", 14, 56, 67, 10},
    {-1, Text, "Port", 122, 56, 21, 10},
    {-1, Text,
     "You can look up your proxy setting from your Internet Explorer. Select  Tools -> Internet "
     "Options from the main menu. Click on the Connections tab. Choose the Settings... button for "
     "your LAN or other connections. ",
     14, 99, 200, 42},
};

// The main dialog as it opens without a server: the version texts are the
// empty members, and the group box already carries the package's caption.
inline std::vector<Expected> MainLayoutWithoutServer() {
    std::vector<Expected> layout = kMainLayout;
    layout[5].caption = "Download Main Package";
    layout[10].caption = "";
    layout[11].caption = "";
    return layout;
}

}  // namespace layout
