#include "catalogue/server_names.h"

#include <gtest/gtest.h>

#include "catalogue/package_index.h"

namespace {

TEST(ServerNamesTest, OnlyNamesThatMeanTheSameOnEveryDiskArePortable) {
    for (const char* name : {"velmora.001", "7.2 beta", "qd003.bin", "\xC3\xA9" "03.bin",
                             "CONSOLE", "con-1", "COM10", "LPT", "nul_", "a.con",
                             "\xF0\x9F\x93\xA6"}) {
        EXPECT_TRUE(IsPortableFileName(name)) << name;
    }
    for (const char* name :
         {"", ".hidden", "a/b", "a\\b", "a\tb", "pkgindex.txt::$DATA", "velmora.exe:x", "a<b",
          "a>b", "a\"b", "a|b", "a?b", "a*b", "7.2.", "7.2 ", "CON", "con", "Con.txt",
          "NUL.tar.gz", "CON .txt", "prn", "AUX", "COM0", "com9.log", "LPT0", "lpt5",
          "COM\xC2\xB9", "lpt\xC2\xB3.txt", "CONIN$", "conout$.x",
          // Not UTF-8: cut short, stray, overlong, a surrogate, past U+10FFFF.
          "a\xC3", "a\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
          "\xFF"}) {
        EXPECT_FALSE(IsPortableFileName(name)) << testing::PrintToString(std::string(name));
    }
}

TEST(ServerNamesTest, AnIndexNamingANonPortableVersionOrPartIsNotSafe) {
    const auto index = [](const std::string& version, const std::string& part) {
        PackageIndex built;
        built.m_productVersion = version;
        built.m_partSize = 10;
        built.m_parts.push_back({part, 0});
        return built;
    };
    EXPECT_TRUE(IsSafeIndex(index("7.2", "a.001")));
    EXPECT_FALSE(IsSafeIndex(index("7.2.", "a.001")));
    EXPECT_FALSE(IsSafeIndex(index("CON", "a.001")));
    EXPECT_FALSE(IsSafeIndex(index("7.2", "a:b")));
    EXPECT_FALSE(IsSafeIndex(index("7.2", "nul.bin")));
}

}  // namespace
