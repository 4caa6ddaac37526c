#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/message_box.h"

// A fresh folder below $TMPDIR for one test, removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Every entry below the folder, relative to it, sorted ("a", "a/b", ...).
    std::vector<std::string> Listing() const;

  private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);
// Creates the folders along the path as needed.
void WriteFile(const std::string& path, const std::string& content);
// Deterministic bytes, different for every seed.
std::string PatternBytes(std::size_t size, unsigned seed);

// Points $HOME at a folder of its own while it lives.
class ScopedHome {
  public:
    explicit ScopedHome(const std::string& home);
    ~ScopedHome();

  private:
    std::string m_previous;
};

// Makes writes past `bytes` in one file fail (EFBIG) while it lives, the way
// a full disk fails them.
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(long bytes);
    ~ScopedFileSizeLimit();

  private:
    unsigned long m_previous;
};

// A loopback port on which nobody listens.
int UnusedLoopbackPort();

// Records the texts of every message box while it lives, instead of showing them.
class MessageRecorder {
  public:
    MessageRecorder();
    // Records through `wrap`, as the windows show boxes through theirs (the
    // boxes of another thread carried to the user-interface thread).
    explicit MessageRecorder(const std::function<MessageBoxHandler(MessageBoxHandler)>& wrap);
    ~MessageRecorder();
    std::vector<std::string> Texts() const;
    void Clear();

  private:
    struct State;
    std::shared_ptr<State> m_state;
    MessageBoxHandler m_previous;
};
