#pragma once

#include <optional>
#include <string>

#include "widgets/dialog.h"

// What a user does to a window, and sees of it, beyond what the dialog layer
// tells: each window system's own windows are driven here
// (window_driver_qt.cpp, window_driver_win32.cpp), so that one test runs
// against both.

enum class Key { Escape, AltF4 };

// Presses the key in the window, at its focused control, as the keyboard
// does; what the key does has happened on return (a command it posts may
// still be queued).
void PressKey(Dialog& dialog, Key key);
// Makes the window the active one, as a click on it does.
void ActivateWindow(Dialog& dialog);
bool HasWindowIcon(const Dialog& dialog);
// `owned`'s window belongs to `owner`'s: it stays in front of it, and goes
// with it.
bool IsOwnedBy(const Dialog& owned, const Dialog& owner);

// A real message box as the user met it.
struct SeenBox {
    std::string caption;
    std::string text;
    bool ownedByWindow = false;  // by the window the caller named
    bool ownerMinimised = false;
    bool waitCursor = false;  // the busy pointer showed over it
};
// Answers the message box in front, if one stands there, with OK, and says
// what it showed; `window` is the one that should own it.
std::optional<SeenBox> AnswerBoxInFront(const Dialog& window);
// The pointer is the busy one now.
bool WaitCursorShown();

// The edit control's whole text is selected, ready to be typed over.
bool IsWholeTextSelected(const Dialog& dialog, int id);

// The system's folder chooser standing in front, as the user reads it.
struct ShownChooser {
    std::string title;
    // The folder it opened in, where the platform's chooser tells it.
    std::optional<std::string> folder;
};
std::optional<ShownChooser> ChooserInFront();
// Picks `folder` in the chooser in front and confirms it; an empty one
// cancels the chooser instead.
void AnswerChooser(const std::string& folder);
