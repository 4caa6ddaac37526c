#pragma once

#include <QString>

// What the program tells the desktop over the session bus, for a user who
// is looking elsewhere. Neither waits for an answer; where there is no bus
// or no one listens, nothing happens.

// A notification (org.freedesktop.Notifications). Both texts are plain
// text: the summary is plain by the protocol, and the body, which the
// protocol lets a desktop read as markup (and many do), is sent as
// NotificationBodyMarkup(body).
void SendDesktopNotification(const QString& summary, const QString& body);

// A notification body that a desktop reading the protocol's markup shows as
// `text` literally: "&", "<" and ">" written as entities, so that nothing in
// it is a tag (no image loaded, no link), whatever the server put in it.
QString NotificationBodyMarkup(const QString& text);

// The progress on the program's taskbar or dock entry, where the desktop
// shows one (the com.canonical.Unity.LauncherEntry signal, which KDE Plasma
// and dock extensions read); `desktopId` names the program's desktop entry.
void ShowTaskbarProgress(const QString& desktopId, double progress, bool visible);
