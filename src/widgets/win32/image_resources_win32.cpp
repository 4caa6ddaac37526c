// On Windows the pictures are compiled into the program file under their
// resource IDs, as the dialog templates name them: the location given at
// registration (where another platform finds the picture) is not needed.

#include <windows.h>

#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "widgets/image_resources.h"
#include "widgets/win32/image_resources_win32.h"

namespace {

struct Images {
    std::mutex mutex;
    std::set<int> registered;
    // Loaded once and kept: a control that shows one does not own it.
    std::map<std::pair<int, int>, HICON> icons;
    std::map<int, HBITMAP> bitmaps;
};

Images& Registry() {
    static Images images;
    return images;
}

HANDLE LoadFromProgram(int id, UINT type, int size) {
    return LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), type, size, size,
                      type == IMAGE_BITMAP ? LR_CREATEDIBSECTION
                      : size == 0          ? LR_DEFAULTSIZE
                                           : LR_DEFAULTCOLOR);
}

}  // namespace

void RegisterImageResource(int id, const std::string& location) {
    (void)location;
    Images& images = Registry();
    std::lock_guard lock(images.mutex);
    images.registered.insert(id);
}

HICON LoadIconResource(int id, int size) {
    Images& images = Registry();
    std::lock_guard lock(images.mutex);
    if (images.registered.count(id) == 0) {
        return nullptr;
    }
    const std::pair<int, int> key{id, size < 0 ? 0 : size};
    auto [it, added] = images.icons.try_emplace(key, nullptr);
    if (added) {
        it->second = static_cast<HICON>(LoadFromProgram(id, IMAGE_ICON, key.second));
    }
    return it->second;
}

HBITMAP LoadBitmapResource(int id) {
    Images& images = Registry();
    std::lock_guard lock(images.mutex);
    if (images.registered.count(id) == 0) {
        return nullptr;
    }
    auto [it, added] = images.bitmaps.try_emplace(id, nullptr);
    if (added) {
        it->second = static_cast<HBITMAP>(LoadFromProgram(id, IMAGE_BITMAP, 0));
    }
    return it->second;
}
