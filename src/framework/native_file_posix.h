#pragma once

#include "framework/file_system.h"

// The descriptor inside a FileHandle, for the POSIX mapping files only.
struct NativeFile {
    static int Fd(const FileHandle& file) { return static_cast<int>(file.m_native); }
    static FileHandle Wrap(int fd) {
        FileHandle file;
        file.m_native = fd;
        return file;
    }
};
