#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>

#include "framework/failure_text.h"
#include "framework/file_system.h"
#include "support/platform_files.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    // $TMPDIR (or /tmp) here, the user's temporary folder on Windows.
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = (ec ? fs::path("/tmp") : base) /
                                fs::path("velmora-test-" + std::to_string(random() % 1000000000));
        if (fs::create_directory(folder, ec)) {
            const std::u8string path = folder.u8string();
            m_path.assign(path.begin(), path.end());
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them removable first.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(m_path, ec);
}

std::string TempDir::operator/(const std::string& name) const {
    return m_path / name;
}

std::string operator/(const std::string& folder, const std::string& name) {
    std::string path = folder + kPathSeparator + name;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(), '/',
                 kPathSeparator[0]);
    return path;
}

std::vector<std::string> TempDir::Listing() const {
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        // Lexically: a link is listed where it lies, not where it points.
        entries.push_back(it->path().lexically_relative(m_path).generic_string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    ForEachEntry(OwnFolder::Open(folder), [&names](const std::string& name) {
        names.push_back(name);
        return true;
    });
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(const FileHandle& file) {
    std::string data;
    char buffer[4096];
    std::size_t got = 0;
    while (ReadSome(file, buffer, sizeof buffer, got) && got > 0) {
        data.append(buffer, got);
    }
    return data;
}

std::string TextAsStored(std::string text) {
#ifdef _WIN32
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.insert(at, 1, '\r');
    }
#endif
    return text;
}

void WriteFile(const std::string& path, const std::string& content) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<char>(x);
    }
    return bytes;
}

struct MessageRecorder::State {
    mutable std::mutex mutex;
    std::vector<std::string> texts;
    std::vector<Failure> failures;
};

class MessageRecorder::Report final : public UserReport {
  public:
    explicit Report(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    void Tell(const Failure& failure) override {
        {
            std::lock_guard lock(m_state->mutex);
            m_state->failures.push_back(failure);
        }
        // Through the box function, as the windows show it.
        ShowMessageBox(Render(failure));
    }

  private:
    std::shared_ptr<State> m_state;
};

MessageRecorder::MessageRecorder()
    : MessageRecorder([](MessageBoxHandler record) { return record; }) {}

MessageRecorder::MessageRecorder(const std::function<MessageBoxHandler(MessageBoxHandler)>& wrap)
    : m_state(std::make_shared<State>()) {
    std::shared_ptr<State> state = m_state;
    m_previous = SetMessageBoxHandler(wrap([state](const std::string& text) {
        std::lock_guard lock(state->mutex);
        state->texts.push_back(text);
    }));
    m_report = std::make_unique<Report>(m_state);
    m_previousReport = SetUserReport(m_report.get());
}

MessageRecorder::~MessageRecorder() {
    SetUserReport(m_previousReport);
    SetMessageBoxHandler(m_previous);
}

std::vector<Failure> MessageRecorder::Failures() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->failures;
}

std::vector<FailureKind> MessageRecorder::Kinds() const {
    std::lock_guard lock(m_state->mutex);
    std::vector<FailureKind> kinds;
    for (const Failure& failure : m_state->failures) {
        kinds.push_back(failure.kind);
    }
    return kinds;
}

std::vector<std::string> MessageRecorder::Texts() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->texts;
}

void MessageRecorder::Clear() {
    std::lock_guard lock(m_state->mutex);
    m_state->texts.clear();
    m_state->failures.clear();
}

ScopedHome::ScopedHome(const std::string& home) {
    const char* previous = std::getenv("HOME");
    m_previous = previous != nullptr ? previous : "";
    SetEnvironment("HOME", home);
#ifdef _WIN32
    const char* drive = std::getenv("SystemDrive");
    m_previousDrive = drive != nullptr ? drive : "C:";
    SetEnvironment("SystemDrive", home);
#endif
}

ScopedHome::~ScopedHome() {
    SetEnvironment("HOME", m_previous);
#ifdef _WIN32
    SetEnvironment("SystemDrive", m_previousDrive);
#endif
}
