#include "framework/file_system.h"

// What a handle and a held folder are, the same on every platform; closing
// and opening are the platform's (file_system_posix.cpp, _win32.cpp).

FileHandle::~FileHandle() {
    Close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : m_native(other.m_native) {
    other.m_native = kClosed;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_native = other.m_native;
        other.m_native = kClosed;
    }
    return *this;
}

OwnFolder::OwnFolder(FileHandle handle, std::string path)
    : m_handle(handle.IsOpen() ? std::make_shared<const FileHandle>(std::move(handle)) : nullptr),
      m_path(std::move(path)),
      // Made right after the call that opened it, so the code is that call's.
      m_openError(m_handle != nullptr ? 0 : LastSystemError()) {}

const FileHandle& OwnFolder::Handle() const {
    static const FileHandle closed;
    return m_handle != nullptr ? *m_handle : closed;
}

Failure OwnFolder::NotOpened(int systemError, bool notAFolder, std::string path) {
    Failure failure = notAFolder ? Failure::WithPath(FailureKind::ForeignFolder, std::move(path))
                                 : Failure::OfSystem(systemError);
    failure.systemError = systemError;
    return failure;
}
