#include "framework/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/message_box.h"

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::int64_t QueryFileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) {
        return -1;
    }
    return S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
}

int DeleteAllFiles(const std::string& folder) {
    if (folder.empty()) {
        errno = EINVAL;
        return 0;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return 1;
    }
    const int fd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        // unlinkat without AT_REMOVEDIR refuses folders and removes a link
        // itself, never what it points at.
        unlinkat(fd, entry->d_name, 0);
    }
    closedir(dir);
    return 1;
}

std::string SystemErrorText() {
    return SystemErrorText(errno);
}

std::string SystemErrorText(int code) {
    char buffer[1024];
    // GNU strerror_r returns the text, which need not be in the buffer.
    const char* message = strerror_r(code, buffer, sizeof buffer);
    return message != nullptr ? std::string(message) : std::string();
}

void MakeDirectoryTree(const std::string& path) {
    // A "/" at index 0 is the root, never a folder to create.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (FileExists(prefix)) {
            continue;
        }
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            ShowMessageBox(SystemErrorText());
            return;
        }
    }
}
