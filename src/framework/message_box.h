#pragma once

#include <functional>
#include <string>

// The one way the program tells the user something: a modal box with an OK
// button and the application title as caption. The windows install a handler
// that shows a real box (and carries a call from the worker over to the
// user-interface thread); without one, the text goes to standard error, which
// is what a headless run wants.

using MessageBoxHandler = std::function<void(const std::string& text)>;

// Returns the handler that was installed before; an empty handler restores the
// default.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Shows the text and returns once the user has closed the box.
void ShowMessageBox(const std::string& text);
