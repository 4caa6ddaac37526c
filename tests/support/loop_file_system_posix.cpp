#include "support/loop_file_system_posix.h"

#include <unistd.h>

#include <cstdlib>

LoopFileSystem::LoopFileSystem(const std::string& mkfs, int megabytes, const std::string& mount) {
    if (getuid() != 0) {
        m_missing = "root (to mount a file system image)";
        return;
    }
    const std::string program = mkfs.substr(0, mkfs.find(' '));
    if (std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) != 0) {
        m_missing = program;
        return;
    }
    const std::string image = m_dir / "fs.img";
    m_mountPoint = m_dir / "mnt";
    const std::string commands = "truncate -s " + std::to_string(megabytes) + "M '" + image +
                                 "' && " + mkfs + " '" + image + "' >/dev/null && mkdir -p '" +
                                 m_mountPoint + "' && " + mount + " '" + image + "' '" +
                                 m_mountPoint + "' >/dev/null 2>&1";
    if (std::system(commands.c_str()) != 0) {
        m_missing = "a loop device and the kernel's or FUSE's driver to mount the image";
        return;
    }
    m_mounted = true;
}

LoopFileSystem::~LoopFileSystem() {
    if (m_mounted) {
        // A loop device the mount command set up itself is let go too.
        const std::string image = m_dir / "fs.img";
        // Lazily: a file still open there must not leave it mounted under a
        // folder that is about to be removed.
        std::system(("umount -l '" + m_mountPoint + "'; losetup -j '" + image +
                     "' | cut -d: -f1 | xargs -r losetup -d")
                        .c_str());
    }
}
