#include <gtest/gtest.h>

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
        {{"--version", "1", "--part-size", "0", dir / "i", dir / "o"}, "part size"},
        {{"--version", "1", "--part-size", "3000000000", dir / "i", dir / "o"}, "part size"},
        {{"--version", "1", "--package", "other", dir / "i", dir / "o"}, "unknown package"},
        {{"--version", "1", dir / "i"}, "an installer file and an output folder"},
        {{"--version", "1", dir / "missing", dir / "o"}, "cannot read the installer"},
        {{"--version", "1", dir / "empty", dir / "o"}, "is empty"},
    };
    for (const auto& c : cases) {
        const ChildResult result = Publish(c.args);
        EXPECT_NE(result.exitStatus, 0) << c.says;
        EXPECT_NE(result.errorText.find(c.says), std::string::npos) << result.errorText;
    }
    EXPECT_FALSE(FileExists(dir / "o")) << "nothing written on a refusal";
}

}  // namespace
