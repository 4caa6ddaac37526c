#pragma once

#include <QString>

// What the program tells the desktop over the session bus, for a user who
// is looking elsewhere. Neither waits for an answer; where there is no bus
// or no one listens, nothing happens.

// A notification (org.freedesktop.Notifications).
void SendDesktopNotification(const QString& summary, const QString& body);

// The progress on the program's taskbar or dock entry, where the desktop
// shows one (the com.canonical.Unity.LauncherEntry signal, which KDE Plasma
// and dock extensions read); `desktopId` names the program's desktop entry.
void ShowTaskbarProgress(const QString& desktopId, double progress, bool visible);
