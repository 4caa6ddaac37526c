#pragma once

#include "framework/failure.h"

// The one way the layers below the windows tell the user something: they
// report a failure (or a notice) by its kind and subjects, and whoever
// shows it decides how. The window implements it with a modal box owned by
// itself (a call from the worker carried over to the user-interface thread);
// without one, the failure's sentence goes to standard error, which is what
// a headless run wants.
class UserReport {
  public:
    virtual ~UserReport() = default;
    // Tells the user and returns once they have taken note (the box is
    // closed).
    virtual void Tell(const Failure& failure) = 0;
};

// Installs `report` (nullptr: standard error) and returns the one before.
// The caller keeps it alive while it is installed.
UserReport* SetUserReport(UserReport* report);

// Tells the user through the installed report.
void Report(const Failure& failure);
