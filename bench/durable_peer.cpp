// What a careful user would build with libcurl alone, to set the engine
// against on the same system: one easy handle for every part, so one
// connection, each part written to a file of its own and made durable, then
// the parts joined into velmora.exe, which is made durable too.
//
//   durable_peer PROXY URL_PREFIX FOLDER NAMES_FILE
//
// PROXY is "host:port", or empty for none. Each name in NAMES_FILE (one a
// line) is fetched from URL_PREFIX followed by the name into FOLDER. Prints
// one line of key=value pairs, as the other contenders of bench/run.sh do.

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif
// Writes gathered a MiB at a time, as the engine gathers them.
constexpr std::size_t kWriteBuffer = 1 << 20;
// What the curl tool asks libcurl to receive at a time.
constexpr long kReceiveBuffer = 100 * 1024;

bool MakeDurable(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
#ifdef _WIN32
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

std::FILE* OpenForWriting(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IOFBF, kWriteBuffer);
    }
    return file;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* file) {
    return std::fwrite(data, 1, size * count, static_cast<std::FILE*>(file));
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "durable_peer: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PROXY URL_PREFIX FOLDER NAMES_FILE\n", argv[0]);
        return 64;
    }
    const std::string proxy = argv[1];
    const std::string prefix = argv[2];
    const std::string folder = argv[3];
    std::vector<std::string> names;
    std::ifstream list(argv[4]);
    for (std::string name; std::getline(list, name);) {
        if (!name.empty() && name.back() == '\r') {
            name.pop_back();
        }
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    if (names.empty()) {
        return Fail(std::string("no part names in ") + argv[4]);
    }

    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return Fail("no curl handle");
    }
    char error[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    if (!proxy.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    }

    const Clock::time_point start = Clock::now();
    for (const std::string& name : names) {
        const std::string path = folder + kSeparator + name;
        std::FILE* file = OpenForWriting(path);
        if (file == nullptr) {
            return Fail("cannot write " + path);
        }
        const std::string url = prefix + name;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
        const CURLcode result = curl_easy_perform(curl);
        const bool durable = MakeDurable(file);
        std::fclose(file);
        if (result != CURLE_OK) {
            return Fail(url + ": " + error);
        }
        if (!durable) {
            return Fail("cannot sync " + path);
        }
    }
    const Clock::time_point downloaded = Clock::now();

    const std::string installerPath = folder + kSeparator + "velmora.exe";
    std::FILE* installer = OpenForWriting(installerPath);
    if (installer == nullptr) {
        return Fail("cannot write " + installerPath);
    }
    std::vector<char> buffer(kWriteBuffer);
    for (const std::string& name : names) {
        const std::string path = folder + kSeparator + name;
        std::FILE* part = std::fopen(path.c_str(), "rb");
        if (part == nullptr) {
            return Fail("cannot read " + path);
        }
        std::size_t n = 0;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), part)) > 0) {
            if (std::fwrite(buffer.data(), 1, n, installer) != n) {
                return Fail("cannot write " + installerPath);
            }
        }
        std::fclose(part);
    }
    if (!MakeDurable(installer) || std::fclose(installer) != 0) {
        return Fail("cannot sync " + installerPath);
    }
    const Clock::time_point joined = Clock::now();

    curl_easy_cleanup(curl);
    curl_global_cleanup();
    const auto seconds = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    std::printf("mode=peer parts=%zu download_s=%.3f join_s=%.3f total_s=%.3f\n", names.size(),
                seconds(start, downloaded), seconds(downloaded, joined), seconds(start, joined));
    return 0;
}
