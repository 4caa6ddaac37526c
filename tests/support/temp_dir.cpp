#include "support/temp_dir.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velmora-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
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

std::vector<std::string> TempDir::Listing() const {
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        // Lexically: a link is listed where it lies, not where it points.
        entries.push_back(it->path().lexically_relative(m_path).string());
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
}

MessageRecorder::~MessageRecorder() {
    SetMessageBoxHandler(m_previous);
}

std::vector<std::string> MessageRecorder::Texts() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->texts;
}

void MessageRecorder::Clear() {
    std::lock_guard lock(m_state->mutex);
    m_state->texts.clear();
}

ScopedHome::ScopedHome(const std::string& home) {
    const char* previous = std::getenv("HOME");
    m_previous = previous != nullptr ? previous : "";
    setenv("HOME", home.c_str(), 1);
}

ScopedHome::~ScopedHome() {
    setenv("HOME", m_previous.c_str(), 1);
}

ScopedFileSizeLimit::ScopedFileSizeLimit(long bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_previous = limit.rlim_cur;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_previous;
    setrlimit(RLIMIT_FSIZE, &limit);
}

int UnusedLoopbackPort() {
    // Bound once and closed: nothing listens there afterwards.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}
