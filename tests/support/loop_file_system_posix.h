#pragma once

#include <string>

#include "support/temp_dir.h"

// A small file system of a given kind in an image, loop-mounted for one
// test. Needs root, the kind's mkfs and loop devices; where the machine has
// not got them, Missing() names what was missing and the test skips.
class LoopFileSystem {
  public:
    // `mkfs` is the command that formats the image and `mount` the one that
    // mounts it; the image's path is appended to both, then the mount
    // point to `mount`.
    LoopFileSystem(const std::string& mkfs, int megabytes,
                   const std::string& mount = "mount -o loop");
    ~LoopFileSystem();
    LoopFileSystem(const LoopFileSystem&) = delete;
    LoopFileSystem& operator=(const LoopFileSystem&) = delete;

    const std::string& Missing() const { return m_missing; }
    const std::string& Path() const { return m_mountPoint; }

  private:
    TempDir m_dir;
    std::string m_mountPoint;
    std::string m_missing;
    bool m_mounted = false;
};
