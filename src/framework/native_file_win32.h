#pragma once

#include <windows.h>

#include <cstdint>

#include "framework/file_system.h"

// The HANDLE inside a FileHandle, for the Windows mapping files only. A
// closed FileHandle holds -1, which is INVALID_HANDLE_VALUE.
struct NativeFile {
    static HANDLE Handle(const FileHandle& file) { return reinterpret_cast<HANDLE>(file.m_native); }
    static FileHandle Wrap(HANDLE handle) {
        FileHandle file;
        file.m_native = reinterpret_cast<std::intptr_t>(handle);
        return file;
    }
};
