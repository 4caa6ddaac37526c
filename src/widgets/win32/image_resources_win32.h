#pragma once

#include <windows.h>

// The pictures registered with RegisterImageResource, from the program
// file's own resources under the same IDs; null for an ID that was not
// registered or that the file lacks. The handles stay loaded for the life of
// the program: not to be destroyed.

// An icon `size` pixels square (0: the system's icon size).
HICON LoadIconResource(int id, int size);
HBITMAP LoadBitmapResource(int id);
