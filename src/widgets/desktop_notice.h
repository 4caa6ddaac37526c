#pragma once

#include <string>

// What the program tells the desktop, for a user who is looking elsewhere.
// Neither waits for an answer; where no one listens, nothing happens.

// A notice. Both texts are plain text: a desktop that reads the body as
// markup gets NotificationBodyMarkup(body).
void SendDesktopNotification(const std::string& summary, const std::string& body);

// A notification body that a desktop reading the notification protocol's
// markup shows as `text` literally: "&", "<" and ">" written as entities,
// so that nothing in it is a tag (no image loaded, no link).
std::string NotificationBodyMarkup(const std::string& text);

// The progress on the program's taskbar or dock entry, where the desktop
// shows one; `desktopId` names the program's launcher.
void ShowTaskbarProgress(const std::string& desktopId, double progress, bool visible);
