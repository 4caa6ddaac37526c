#pragma once

// The HTTP client's process-wide set-up, once before the first fetch and
// once more after the last (the sockets start-up of Windows included).
bool StartNetwork();
void StopNetwork();
