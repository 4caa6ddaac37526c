#include "framework/folder_lock.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "../ui/gui_helpers.h"
#include "app/download_app.h"
#include "app/package_identity.h"
#include "framework/file_system.h"
#include "framework/file_utils.h"
#include "support/platform_files.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "ui/folder_dialog.h"
#include "ui/main_dialog.h"

namespace {

std::string InUseText(const std::string& folder) {
    return "Velmora Quindle is already running for the folder " + folder +
           ". Please continue in its window, or close that window and start Velmora Quindle "
           "again.";
}

// Whether a lock was taken, or else the kind it failed with.
std::optional<FailureKind> Taken(const Outcome& locked) {
    return locked ? std::nullopt : std::optional(locked.Error().kind);
}
constexpr std::optional<FailureKind> kLocked;

// The errors a lock reports, in the system's own codes.
#ifdef _WIN32
constexpr int kNotAFile = ERROR_ACCESS_DENIED;
constexpr int kNoFolder = ERROR_FILE_NOT_FOUND;
#else
constexpr int kNotAFile = EINVAL;
constexpr int kNoFolder = ENOENT;
#endif

// Which file the entry is, whatever it is, without following a link.
std::uint64_t FileOf(const std::string& path) {
    std::string name;
    const OwnFolder folder = OwnFolder::OpenParentOf(path, name);
    EntryInfo entry;
    return folder.IsOpen() && StatOwnEntry(folder, name, entry) ? entry.identity.file : 0;
}

TEST(FolderLockTest, OneHolderPerFolderUntilItLetsGo) {
    TempDir folder;
    const std::string file = folder / "velmora.lock";
    FolderLock first;
    ASSERT_EQ(Taken(first.Lock(folder.Path(), "velmora.lock")), kLocked);
    EntryInfo made;
    ASSERT_TRUE(StatPath(file, made));
    EXPECT_EQ(made.kind, EntryKind::File);
    if (HasPosixModes()) {
        EXPECT_EQ(made.permissions & 0777, 0600u) << "no other user can hold it";
    }
    const std::uint64_t madeFile = FileOf(file);
    {
        FolderLock second;
        EXPECT_EQ(Taken(second.Lock(folder.Path(), "velmora.lock")), FailureKind::FolderInUse);
        EXPECT_FALSE(second.IsLocked());
        first.Unlock();
        EXPECT_EQ(Taken(second.Lock(folder.Path(), "velmora.lock")), kLocked);
        EXPECT_EQ(Taken(first.Lock(folder.Path(), "velmora.lock")), FailureKind::FolderInUse);
    }
    EXPECT_EQ(Taken(first.Lock(folder.Path(), "velmora.lock")), kLocked) << "freed with its holder";
    EXPECT_EQ(FileOf(file), madeFile) << "the file is never made afresh";
}

TEST(FolderLockTest, OnlyARegularFileAtTheNameIsUsed) {
    TempDir folder;
    TempDir outside;
    const std::string file = folder / "velmora.lock";
    WriteFile(outside / "theirs", "theirs");
    const struct {
        const char* what;
        std::function<bool()> make;
        int error;
        const char* cannot;  // why this system may not make it
    } entries[] = {
        {"a folder",
         [&] {
             std::error_code ec;
             return std::filesystem::create_directory(file, ec);
         },
         kNotAFile, ""},
        {"a link to nothing", [&] { return MakeSymbolicLink(outside / "made", file); }, ELOOP,
         kNoSymbolicLinks},
        {"a link to a file", [&] { return MakeSymbolicLink(outside / "theirs", file); }, ELOOP,
         kNoSymbolicLinks},
        {"a FIFO", [&] { return MakeFifo(file); }, EINVAL, kNoFifos},
    };
    for (const auto& entry : entries) {
        if (!entry.make()) {
#ifdef _WIN32
            std::printf("%s: skipped, %s\n", entry.what, entry.cannot);
            continue;
#else
            FAIL() << "cannot make " << entry.what;
#endif
        }
        const std::uint64_t before = FileOf(file);
        FolderLock lock;
        const Outcome locked = lock.Lock(folder.Path(), "velmora.lock");
        ASSERT_FALSE(locked) << entry.what;
        EXPECT_EQ(locked.Error().kind, FailureKind::CannotCreateFile) << entry.what;
        EXPECT_EQ(locked.Error().path, file) << entry.what;
        EXPECT_EQ(locked.Error().systemError, entry.error) << entry.what;
        EXPECT_EQ(FileOf(file), before) << entry.what << " was replaced";
        std::error_code ec;
        ASSERT_TRUE(std::filesystem::remove(file, ec)) << entry.what;
    }
    EXPECT_FALSE(FileExists(outside / "made")) << "made through the link";

    FolderLock lock;
    const Outcome locked = lock.Lock(folder / "missing", "velmora.lock");
    ASSERT_FALSE(locked);
    EXPECT_EQ(locked.Error().kind, FailureKind::CannotCreateFile);
    EXPECT_EQ(locked.Error().systemError, kNoFolder);
}

// Sets an environment variable while it lives.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name) {
        const char* previous = std::getenv(name);
        m_hadValue = previous != nullptr;
        m_previous = m_hadValue ? previous : "";
        SetEnvironment(name, value);
    }
    ~ScopedVariable() {
        if (m_hadValue) {
            SetEnvironment(m_name, m_previous);
        } else {
            UnsetEnvironment(m_name);
        }
    }

  private:
    const char* m_name;
    bool m_hadValue = false;
    std::string m_previous;
};

// The start-up as the program runs it, with the desktop's folders in a home
// of the test's own and every request going to a loopback server that
// publishes nothing.
class StartUpLockTest : public testing::Test {
  protected:
    StartUpLockTest() { WriteFile(m_home / "Downloads/.keep", ""); }

    TempDir m_home;
    ScopedHome m_scopedHome{m_home.Path()};
    ScopedVariable m_config{"XDG_CONFIG_HOME", m_home / ".config"};
    ScopedVariable m_data{"XDG_DATA_HOME", m_home / ".local/share"};
    // The desktop's proxy settings, read without the session bus: a GIO
    // connection to it ends the process when the tests' bus goes at exit.
    ScopedVariable m_settings{"GSETTINGS_BACKEND", "memory"};
    TempDir m_serverRoot;
    TestHttpServer m_server{m_serverRoot.Path()};
    ScopedVariable m_proxy{"http_proxy", "http://" + m_server.Address()};
    MessageRecorder m_messages;
};

// The package folder of a start in this process is the test program's folder.
TEST_F(StartUpLockTest, ASecondStartOnAFolderInUseSaysSoAndFetchesNothing) {
    const std::string module = ModuleFileName();
    const std::string folder = module.substr(0, module.rfind(kPathSeparator));
    const char* argv[] = {module.c_str()};
    MainDialog* first = nullptr;
    int windows = 0;
    std::size_t requestsBefore = 0;
    std::size_t requestsAfter = 0;
    std::vector<std::string> secondSaid;
    std::optional<FailureKind> lockDuringWindow;
    RepeatingTimer watcher([&] {
        auto* dialog = dynamic_cast<MainDialog*>(Dialog::ActiveModal());
        if (dialog == nullptr || dialog == first) {
            return;
        }
        ++windows;
        if (first != nullptr) {
            dialog->EndDialog(2);  // a second window, which must not open
            return;
        }
        first = dialog;
        RunLater(0, [&] {
            FolderLock probe;
            lockDuringWindow = Taken(probe.Lock(folder, "velmora.lock"));
            probe.Unlock();
            requestsBefore = m_server.Requests().size();
            const std::size_t saidBefore = m_messages.Texts().size();
            theApp.InitInstance(1, argv);
            const std::vector<std::string> said = m_messages.Texts();
            secondSaid.assign(said.begin() + static_cast<std::ptrdiff_t>(saidBefore), said.end());
            requestsAfter = m_server.Requests().size();
            first->EndDialog(2);
        });
    });
    watcher.Start(5);
    theApp.InitInstance(1, argv);
    watcher.Stop();

    EXPECT_EQ(windows, 1);
    EXPECT_EQ(lockDuringWindow, FailureKind::FolderInUse) << "held while the window is open";
    EXPECT_GT(requestsBefore, 0u) << "the first start prepared through the test server";
    EXPECT_EQ(requestsAfter, requestsBefore) << "the second start fetched something";
    EXPECT_EQ(secondSaid, std::vector<std::string>{InUseText(folder)});
    FolderLock after;
    EXPECT_EQ(Taken(after.Lock(folder, "velmora.lock")), kLocked) << "released with the window";
}

TEST_F(StartUpLockTest, TheSelfCopyLeavesAFolderInUseAlone) {
    const std::string module = m_home / "Downloads/setup";
    WriteFile(module, "#!/bin/sh\necho new program\n");
    const std::string folder = m_home / "VelmoraDownload";
    const std::string target = folder / GetPackageProgramName(kPackageMain);
    WriteFile(target, "the running program");
    RepeatingTimer answer([] {
        if (auto* dialog = dynamic_cast<FolderDialog*>(Dialog::ActiveModal())) {
            Click(*dialog, 1);  // the default folder
        }
    });
    answer.Start(5);

    FolderLock running;
    ASSERT_EQ(Taken(running.Lock(folder, "velmora.lock")), kLocked);
    EXPECT_EQ(CopyToPackageFolder(module, {m_home / "Downloads"}), "") << "nothing to start";
    EXPECT_EQ(ReadFile(target), "the running program");
    EXPECT_EQ(m_messages.Texts(), std::vector<std::string>{InUseText(folder)});

    running.Unlock();
    EXPECT_EQ(CopyToPackageFolder(module, {m_home / "Downloads"}), target);
    EXPECT_EQ(ReadFile(target), ReadFile(module));
}

}  // namespace
