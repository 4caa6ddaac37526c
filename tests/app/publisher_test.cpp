#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "catalogue/package_index.h"
#include "framework/file_utils.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

ChildResult Publish(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {VELMORA_PUBLISH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, 022, false);
}

TEST(PublisherTest, SplitsIntoPartsThatJoinToTheInstaller) {
    TempDir dir;
    const std::string installer = PatternBytes(10 * 1000 + 123, 77);
    WriteFile(dir / "velmora.exe", installer);
    ASSERT_EQ(Publish({"--version", "7.9", "--package", "vessa", "--part-size", "1000",
                       dir / "velmora.exe", dir / "www"})
                  .exitStatus,
              0);
    PackageIndex index;
    IndexLoadError error = CannotOpen;
    ASSERT_EQ(index.Load(dir / "www/download/ttsvessa/pkgindex.txt", error), 1);
    EXPECT_EQ(index.GetProductVersion(), "7.9");
    EXPECT_EQ(index.m_partSize, 1000);
    ASSERT_EQ(index.m_parts.size(), 11u);
    EXPECT_EQ(index.m_parts[0].m_name, "velmora.001");
    EXPECT_EQ(index.FirstUnfinishedPart(), 0) << "every flag 0";
    EXPECT_EQ(QueryFileSize(dir / "www/download/ttsvessa/velmora.011"), 123)
        << "the last part is short";
    std::string joined;
    for (const auto& part : index.m_parts) {
        joined += ReadFile(dir / ("www/download/ttsvessa/" + part.m_name));
    }
    EXPECT_EQ(joined, installer);
    EXPECT_EQ(ReadFile(dir / "www/download/sites"), "download.velmora.example") << "no line break";
}

TEST(PublisherTest, BadArgumentsAreRefusedClearly) {
    TempDir dir;
    WriteFile(dir / "i", "data");
    WriteFile(dir / "empty", "");
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{dir / "i", dir / "o"}, "--version must be a plain name"},
        {{"--version", "../x", dir / "i", dir / "o"}, "--version must be a plain name"},
        // What a Windows disk would take for another folder or a device.
        {{"--version", "7.2.", dir / "i", dir / "o"}, "--version must be a plain name"},
        {{"--version", "CON", dir / "i", dir / "o"}, "--version must be a plain name"},
        {{"--version", "7:2", dir / "i", dir / "o"}, "--version must be a plain name"},
        {{"--version", "7.2\xC3", dir / "i", dir / "o"}, "--version must be a plain name"},
        {{"--version", "1", "--part-size", "0", dir / "i", dir / "o"}, "part size"},
        {{"--version", "1", "--part-size", "3000000000", dir / "i", dir / "o"}, "part size"},
        {{"--version", "1", "--package", "other", dir / "i", dir / "o"}, "unknown package"},
        {{"--version", "1", dir / "i"}, "an installer file and an output folder"},
        {{"--version", "1", dir / "missing", dir / "o"}, "cannot read the installer"},
        {{"--version", "1", dir / "empty", dir / "o"}, "is empty"},
        // Not the tool's own version: the package's, left without a value.
        {{dir / "i", dir / "o", "--version"}, "--version needs the package's version"},
    };
    for (const auto& c : cases) {
        const ChildResult result = Publish(c.args);
        EXPECT_NE(result.exitStatus, 0) << c.says;
        EXPECT_NE(result.errorText.find(c.says), std::string::npos) << result.errorText;
    }
    EXPECT_FALSE(FileExists(dir / "o")) << "nothing written on a refusal";
}

// Users refuse a release signed before the one they have: the publisher
// does not sign with a clock earlier than the signature already in its
// output folder, and says so when the clock is far after it.
TEST(PublisherTest, SigningTimeNeverGoesBackwards) {
    if (std::system("command -v minisign >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs Debian's minisign";
    }
    TempDir dir;
    WriteFile(dir / "velmora.exe", PatternBytes(3000, 5));
    ASSERT_EQ(std::system(("minisign -G -W -p '" + dir / "k.pub" + "' -s '" + dir / "k.key" +
                           "' >/dev/null 2>&1")
                              .c_str()),
              0);
    const auto publish = [&] {
        return Publish(
            {"--version", "9.3", "--sign", dir / "k.key", dir / "velmora.exe", dir / "www"});
    };
    ASSERT_EQ(publish().exitStatus, 0);
    const std::string signature = dir / "www/download/quindle7/SHA256SUMS.minisig";
    const auto signedAt = [&](std::int64_t seconds) {
        const std::string text = ReadFile(signature);
        const std::size_t start = text.find("timestamp:") + 10;
        WriteFile(signature, text.substr(0, start) + std::to_string(seconds) +
                                 text.substr(text.find(' ', start)));
    };
    const std::int64_t now = std::time(nullptr);
    signedAt(now + 10 * 24 * 3600);
    const std::string before = ReadFile(signature);
    const ChildResult refused = publish();
    EXPECT_NE(refused.exitStatus, 0);
    EXPECT_NE(refused.errorText.find("nothing was signed"), std::string::npos) << refused.errorText;
    EXPECT_EQ(ReadFile(signature), before);

    signedAt(now - 400 * 24 * 3600);
    const ChildResult warned = publish();
    EXPECT_EQ(warned.exitStatus, 0) << warned.errorText;
    EXPECT_NE(warned.errorText.find("warning"), std::string::npos) << warned.errorText;
}

}  // namespace

namespace {

// What the publisher writes checks out with the tools a maker would use by
// hand: sha256sum -c and minisign -V.
TEST(PublisherTest, ItsChecksumsAndSignatureCheckOutWithSha256sumAndMinisign) {
    if (std::system(
            "command -v minisign >/dev/null 2>&1 && command -v sha256sum >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs Debian's minisign and coreutils";
    }
    TempDir dir;
    const std::string installer = PatternBytes(5 * 4096 + 17, 91);
    WriteFile(dir / "velmora.exe", installer);
    const std::string quoted = "'" + dir.Path() + "'";
    const struct {
        const char* name;
        std::string makeKey;  // a shell command
        std::string password;
    } keys[] = {
        {"unencrypted", "minisign -G -W -p " + quoted + "/k.pub -s " + quoted + "/k.key", ""},
        {"encrypted",
         "printf 'pw\\npw\\n' | minisign -G -p " + quoted + "/k.pub -s " + quoted + "/k.key", "pw"},
    };
    for (const auto& key : keys) {
        SCOPED_TRACE(key.name);
        std::filesystem::remove_all(dir / "www");
        unlink((dir / "k.pub").c_str());
        unlink((dir / "k.key").c_str());
        ASSERT_EQ(std::system((key.makeKey + " >/dev/null 2>&1").c_str()), 0);
        const std::string publish = "printf '%s\\n' '" + key.password + "' | '" + VELMORA_PUBLISH +
                                    "' --version 9.2 --part-size 4096 --sign " + quoted +
                                    "/k.key " + quoted + "/velmora.exe " + quoted +
                                    "/www >/dev/null";
        ASSERT_EQ(std::system(publish.c_str()), 0);
        const std::string folder = dir / "www/download/quindle7";
        // The installer's line is checked against the installer itself.
        WriteFile(folder + "/velmora.exe", installer);
        EXPECT_EQ(std::system(
                      ("cd '" + folder + "' && sha256sum --quiet --strict -c SHA256SUMS").c_str()),
                  0);
        const std::string verify =
            "minisign -Vm '" + folder + "/SHA256SUMS' -p " + quoted +
            "/k.pub 2>&1 | grep -Eqx 'Trusted comment: package:main timestamp:[0-9]+ version:9.2'";
        EXPECT_EQ(std::system(verify.c_str()), 0);
        // And a changed list does not.
        WriteFile(folder + "/SHA256SUMS", ReadFile(folder + "/SHA256SUMS") + "\n");
        EXPECT_NE(std::system(("minisign -Vqm '" + folder + "/SHA256SUMS' -p " + quoted +
                               "/k.pub >/dev/null 2>&1")
                                  .c_str()),
                  0);
    }
    WriteFile(dir / "k.key", "not a key\n");
    EXPECT_NE(Publish({"--version", "1", "--sign", dir / "k.key", dir / "velmora.exe", dir / "o"})
                  .errorText.find("is not a minisign secret key"),
              std::string::npos);
}

}  // namespace
