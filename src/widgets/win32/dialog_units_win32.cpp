#include "widgets/win32/dialog_units_win32.h"

#include <commctrl.h>

#include <charconv>
#include <limits>
#include <string_view>
#include <utility>

#include "widgets/win32/controls_win32.h"

namespace dialog_win32 {

namespace {

// Predefined window classes by their ordinals, as resource compilers write them.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

class TemplateWriter {
  public:
    void Word(WORD value) { m_words.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Coordinate(int value) {
        // Dialog units are shorts in the template. (min and max in
        // parentheses: windows.h has macros of those names.)
        const int lowest = (std::numeric_limits<short>::min)();
        const int highest = (std::numeric_limits<short>::max)();
        const int clamped = value < lowest ? lowest : value > highest ? highest : value;
        Word(static_cast<WORD>(static_cast<short>(clamped)));
    }
    void Text(std::wstring_view text) {
        for (const wchar_t c : text) {
            // A NUL would end the string early and misplace all that follows.
            Word(c == L'\0' ? L' ' : static_cast<WORD>(c));
        }
        Word(0);
    }
    void Ordinal(WORD value) {
        Word(0xFFFF);
        Word(value);
    }
    void AlignToDword() {
        if (m_words.size() % 2 != 0) {
            Word(0);
        }
    }
    std::vector<WORD> Take() { return std::move(m_words); }

  private:
    std::vector<WORD> m_words;
};

bool IsImage(ControlKind kind) {
    return kind == ControlKind::Picture || kind == ControlKind::Icon;
}

void WriteClass(TemplateWriter& out, ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
        case ControlKind::GroupBox:
            out.Ordinal(kButtonClass);
            return;
        case ControlKind::Edit:
            out.Ordinal(kEditClass);
            return;
        case ControlKind::Text:
        case ControlKind::Picture:
        case ControlKind::Icon:
            out.Ordinal(kStaticClass);
            return;
        case ControlKind::Progress:
            out.Text(PROGRESS_CLASSW);
            return;
    }
    out.Ordinal(kStaticClass);
}

void WriteTitle(TemplateWriter& out, const ControlTemplate& control) {
    if (IsImage(control.kind)) {
        // The dialog manager loads the image from the module by this ID.
        const WORD id = ImageResourceId(control.caption);
        if (id != 0) {
            out.Ordinal(id);
        } else {
            out.Text(WideFromUtf8(control.caption));
        }
        return;
    }
    out.Text(control.kind == ControlKind::Progress ? std::wstring()
                                                   : WideFromUtf8(control.caption));
}

}  // namespace

DWORD DialogStyle(const DialogTemplate& dialog) {
    DWORD style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SHELLFONT | DS_CENTER;
    if ((dialog.style & kDialogSysMenu) != 0) {
        style |= WS_SYSMENU;
        // Only the program's own window can be minimised on its own; a
        // dialog it owns goes with it.
        if ((dialog.style & kDialogAppWindow) != 0) {
            style |= WS_MINIMIZEBOX;
        }
    }
    return style;
}

DWORD DialogExStyle(const DialogTemplate& dialog) {
    return (dialog.style & kDialogAppWindow) != 0 ? WS_EX_APPWINDOW : 0;
}

// The height in dialog units of a one-line label: 8 for the text and its
// leading, with room to spare below two lines (16).
constexpr int kOneLineHigh = 12;

DWORD ControlStyle(const ControlTemplate& control, bool first) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (first) {
        style |= WS_GROUP;
    }
    if ((control.style & kStyleDisabled) != 0) {
        style |= WS_DISABLED;
    }
    const bool border = (control.style & kStyleBorder) != 0;
    switch (control.kind) {
        case ControlKind::PushButton:
            return style | BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
        case ControlKind::DefPushButton:
            return style | BS_DEFPUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
        case ControlKind::GroupBox:
            return style | BS_GROUPBOX;
        case ControlKind::Text: {
            // Texts from the server show as they are: an "&" is no mnemonic.
            // A label one line high stays on its line, ending in "..." if
            // the font is wider than the layout's, instead of wrapping onto
            // a line nobody can see.
            const DWORD lines =
                control.cy <= kOneLineHigh ? SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS : SS_LEFT;
            return style | lines | SS_NOPREFIX | (border ? WS_BORDER : 0);
        }
        case ControlKind::Edit:
            return style | ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
        case ControlKind::Progress:
            return style | PBS_SMOOTH | (border ? WS_BORDER : 0);
        case ControlKind::Picture:
            return style | SS_BITMAP | SS_REALSIZECONTROL | (border ? WS_BORDER : 0);
        case ControlKind::Icon:
            return style | SS_ICON | SS_REALSIZECONTROL | (border ? WS_BORDER : 0);
    }
    return style;
}

DWORD ControlExStyle(const ControlTemplate& control) {
    // An edit's frame is the sunken edge every other edit has.
    if (control.kind == ControlKind::Edit && (control.style & kStyleBorder) != 0) {
        return WS_EX_CLIENTEDGE;
    }
    return 0;
}

WORD ImageResourceId(const std::string& caption) {
    unsigned value = 0;
    const char* end = caption.data() + caption.size();
    const auto [next, error] = std::from_chars(caption.data(), end, value);
    if (error != std::errc() || next != end || value == 0 || value > 0xFFFF) {
        return 0;
    }
    return static_cast<WORD>(value);
}

std::vector<WORD> BuildDialogTemplate(const DialogTemplate& dialog) {
    TemplateWriter out;
    out.Word(1);       // dlgVer
    out.Word(0xFFFF);  // signature: the extended form
    out.Dword(0);      // helpID
    out.Dword(DialogExStyle(dialog));
    out.Dword(DialogStyle(dialog));
    const std::size_t count = dialog.controls.size() < 0xFFFF ? dialog.controls.size() : 0xFFFF;
    out.Word(static_cast<WORD>(count));
    out.Coordinate(0);
    out.Coordinate(0);
    out.Coordinate(dialog.cx);
    out.Coordinate(dialog.cy);
    out.Word(0);  // no menu
    out.Word(0);  // the dialog class
    out.Text(WideFromUtf8(dialog.caption));
    out.Word(kDialogFontPoints);
    out.Word(FW_NORMAL);
    out.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, charset
    out.Text(kDialogFontName);

    for (std::size_t i = 0; i < count; ++i) {
        const ControlTemplate& control = dialog.controls[i];
        out.AlignToDword();
        out.Dword(0);  // helpID
        out.Dword(ControlExStyle(control));
        out.Dword(ControlStyle(control, i == 0));
        out.Coordinate(control.x);
        out.Coordinate(control.y);
        out.Coordinate(control.cx);
        out.Coordinate(control.cy);
        out.Dword(static_cast<DWORD>(control.id));
        WriteClass(out, control.kind);
        WriteTitle(out, control);
        out.Word(0);  // no creation data
    }
    return out.Take();
}

}  // namespace dialog_win32
