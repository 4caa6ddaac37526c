#pragma once

#include <string>
#include <vector>

// A dialog described as data, the way a resource script describes it: the
// caption, the size and every control with its ID, kind, caption and
// position, all in dialog units (a quarter of the dialog font's average
// character width across, an eighth of its height down).

enum class ControlKind {
    PushButton,
    DefPushButton,
    Text,  // static text, left aligned
    GroupBox,
    Progress,  // progress bar
    Edit,
    Picture,  // a bitmap resource
    Icon,     // an icon resource
};

// Control styles. Every dialog has a caption and a modal frame, every
// button caption with line breaks spans several lines, every edit scrolls
// sideways and every progress bar is smooth: those need no flag here.
inline constexpr unsigned kStyleDisabled = 1u << 0;
inline constexpr unsigned kStyleBorder = 1u << 1;

// Dialog styles.
inline constexpr unsigned kDialogSysMenu = 1u << 0;    // window menu and close box
inline constexpr unsigned kDialogAppWindow = 1u << 1;  // shown in the taskbar

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string caption;  // for Picture and Icon: the resource ID as text
    int x;
    int y;
    int cx;
    int cy;
    unsigned style = 0;
    // The name assistive technology reads, where the caption does not say it.
    std::string accessibleName = {};
    // For a text that shows a value: what the value is. Its name is then
    // the text it shows.
    std::string valueDescription = {};
};

struct DialogTemplate {
    std::string caption;
    int cx;
    int cy;
    unsigned style;
    std::vector<ControlTemplate> controls;
};
