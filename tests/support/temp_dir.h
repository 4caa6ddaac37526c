#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/failure.h"
#include "framework/file_system.h"
#include "framework/message_box.h"
#include "framework/user_report.h"

// A fresh folder below $TMPDIR for one test, removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const;

    // Every entry below the folder, relative to it, sorted ("a", "a/b", ...).
    std::vector<std::string> Listing() const;

  private:
    std::string m_path;
};

// `folder` and `name` joined as the program joins paths: with the platform's
// separator, also for each "/" inside `name`. The tests' paths then compare
// equal with those in the program's messages.
std::string operator/(const std::string& folder, const std::string& name);

std::string ReadFile(const std::string& path);
// The names in a folder, sorted, as the program's own listing gives them
// (UTF-8 on every system).
std::vector<std::string> ListFolder(const std::string& folder);
// The rest of an open file, from where it stands.
std::string ReadAll(const FileHandle& file);
// `text` as the program's text files hold it: lines end in CR LF on Windows.
std::string TextAsStored(std::string text);
// Creates the folders along the path as needed.
void WriteFile(const std::string& path, const std::string& content);
// Deterministic bytes, different for every seed.
std::string PatternBytes(std::size_t size, unsigned seed);

// Points $HOME at a folder of its own while it lives, and on Windows the
// system drive too, below which the program offers its package folder.
class ScopedHome {
  public:
    explicit ScopedHome(const std::string& home);
    ~ScopedHome();

  private:
    std::string m_previous;
    std::string m_previousDrive;
};

// Records the texts of every message box while it lives, instead of showing
// them, and every failure the layers below the windows report (their
// sentences are recorded as texts too, as the window shows them).
class MessageRecorder {
  public:
    MessageRecorder();
    // Records through `wrap`, as the windows show boxes through theirs (the
    // boxes of another thread carried to the user-interface thread).
    explicit MessageRecorder(const std::function<MessageBoxHandler(MessageBoxHandler)>& wrap);
    ~MessageRecorder();
    std::vector<std::string> Texts() const;
    std::vector<Failure> Failures() const;
    // The kinds of Failures(), in order.
    std::vector<FailureKind> Kinds() const;
    void Clear();

  private:
    struct State;
    class Report;
    std::shared_ptr<State> m_state;
    std::unique_ptr<Report> m_report;
    MessageBoxHandler m_previous;
    UserReport* m_previousReport = nullptr;
};
