#include "ui/dialog_templates.h"

#include <string>

#include "framework/build_config.h"
#include "framework/failure_text.h"
#include "framework/resource_ids.h"
#include "framework/texts.h"

using namespace res;

namespace {

const ControlKind kButton = ControlKind::PushButton;
const ControlKind kDefButton = ControlKind::DefPushButton;
const ControlKind kText = ControlKind::Text;
const ControlKind kGroup = ControlKind::GroupBox;
const ControlKind kProgress = ControlKind::Progress;
const ControlKind kEdit = ControlKind::Edit;
const ControlKind kPicture = ControlKind::Picture;
const ControlKind kIcon = ControlKind::Icon;

}  // namespace

const DialogTemplate& AboutDialogTemplate() {
    static const DialogTemplate about{
        "About Velmora Quindle",
        235,
        55,
        kDialogSysMenu,
        {
            {IDC_STATIC, kIcon, std::to_string(IDR_MAINFRAME), 11, 17, 20, 20, 0,
             "Velmora Quindle"},
            {IDC_STATIC, kText,
             Compose(text::kAboutVersion,
                     {{"title", text::kAppTitle}, {"version", config::kProgramVersion}}),
             40, 10, 119, 8},
            {IDC_STATIC, kText, text::kCopyright, 40, 25, 119, 8},
            {IDOK, kDefButton, "OK", 178, 7, 50, 14},
        }};
    return about;
}

const DialogTemplate& MainDialogTemplate() {
    static const DialogTemplate main{
        "Velmora Software Quindle",
        291,
        277,
        kDialogSysMenu | kDialogAppWindow,
        {
            {IDOK, kDefButton, "Done", 202, 243, 82, 17},
            {IDC_PROGRESS_OVERALL, kProgress, "", 75, 93, 197, 10, kStyleBorder, "Overall status"},
            {IDC_STATIC, kText, "Overall status", 15, 94, 51, 11},
            {IDC_PROGRESS_PART, kProgress, "", 75, 108, 197, 10, kStyleBorder, "Part"},
            {IDC_PART_LABEL, kText, "Part", 15, 108, 51, 11},
            {IDC_PACKAGE_GROUP, kGroup, "Download Info", 7, 7, 277, 69},
            {IDC_DOWNLOAD, kButton, "Download", 75, 124, 59, 17},
            {IDC_STATIC, kText,
             Compose(text::kNoticeWithAddress, {{"address", config::kSupportAddress}}), 15, 148,
             258, 27},
            {IDC_INSTALL, kButton, "Click Here\nto install\nVelmora Software", 202, 202, 82, 33},
            {IDC_STATIC, kPicture, std::to_string(IDB_BANNER), 7, 202, 134, 58, 0,
             "Velmora Software"},
            {IDC_VERSION_FOLDER, kText, "C:", 26, 47, 229, 21, 0, "", "Package download folder"},
            {IDC_VERSION, kText, "Version", 112, 21, 123, 11, 0, "", "Velmora Product Version"},
            {IDC_STATIC, kText, "Velmora Product Version: ", 16, 21, 84, 11},
            {IDC_STATIC, kText, "Package download folder:", 15, 34, 122, 11},
            {IDC_STOP, kButton, "Stop", 140, 124, 36, 17},
            {IDC_PROXY, kButton, "Proxy...", 236, 124, 36, 17},
            {IDC_STATIC, kGroup, "Download Status", 7, 79, 277, 106},
            {IDC_CLEANUP, kButton, "Cleanup", 181, 124, 42, 17},
        }};
    return main;
}

const DialogTemplate& PackageFolderDialogTemplate() {
    static const DialogTemplate folder{
        "Package Download Folder",
        316,
        77,
        0,
        {
            {IDOK, kDefButton, "OK", 259, 56, 50, 14},
            {IDC_CHOOSE_FOLDER, kButton, "Choose Another Folder...", 7, 54, 129, 16},
            {IDC_FOLDER, kEdit, "", 7, 35, 302, 13, kStyleBorder | kStyleDisabled,
             "Package folder"},
            {IDC_STATIC, kText,
             "Please choose a folder for storing Velmora installation package.\n"
             "Click OK to accept the default folder",
             7, 7, 302, 24},
        }};
    return folder;
}

const DialogTemplate& ProxyDialogTemplate() {
    static const DialogTemplate proxy{
        "Set Http Proxy Server",
        227,
        173,
        kDialogSysMenu,
        {
            {IDOK, kDefButton, "OK", 113, 152, 50, 14},
            {IDCANCEL, kButton, "Cancel", 170, 152, 50, 14},
            {IDC_STATIC, kGroup, "Proxy Server", 7, 7, 213, 141},
            {IDC_STATIC, kText,
             "If download failed because you have to use an HTTP proxy server , please set it up "
             "here. Otherwise, don't set anything.",
             13, 21, 200, 21},
            {IDC_PROXY_HOST, kEdit, "", 14, 70, 88, 14, kStyleBorder, "Proxy Server"},
            {IDC_PROXY_PORT, kEdit, "", 122, 70, 35, 14, kStyleBorder, "Port"},
            {IDC_STATIC, kText, "Proxy Server", 14, 56, 67, 10},
            {IDC_STATIC, kText, "Port", 122, 56, 21, 10},
            {IDC_STATIC, kText,
             "You can look up your proxy setting from your Internet Explorer. Select  Tools -> "
             "Internet Options from the main menu. Click on the Connections tab. Choose the "
             "Settings... button for your LAN or other connections. ",
             14, 99, 200, 42},
        }};
    return proxy;
}

const DialogTemplate& SpeedLimitDialogTemplate() {
    static const DialogTemplate speedLimit{
        "Limit Download Speed",
        227,
        95,
        kDialogSysMenu,
        {
            {IDOK, kDefButton, "OK", 113, 74, 50, 14},
            {IDCANCEL, kButton, "Cancel", 170, 74, 50, 14},
            {IDC_STATIC, kGroup, "Download Speed", 7, 7, 213, 61},
            {IDC_STATIC, kText,
             "To leave room for everything else on a shared connection, the download can take "
             "at most this many KiB per second. Leave it empty or 0 for no limit.",
             13, 21, 200, 21},
            {IDC_SPEED_LIMIT, kEdit, "", 14, 46, 60, 14, kStyleBorder, "Speed limit in KiB/s"},
            {IDC_STATIC, kText, "KiB/s", 80, 48, 30, 10},
        }};
    return speedLimit;
}
