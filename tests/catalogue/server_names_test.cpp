#include "catalogue/server_names.h"

#include <gtest/gtest.h>

#include "catalogue/package_index.h"

namespace {

TEST(ServerNamesTest, OnlyNamesThatMeanTheSameOnEveryDiskArePortable) {
    for (const char* name : {"velmora.001", "7.2 beta", "qd003.bin", "\xC3\xA9_03.bin", "CONSOLE",
                             "con-1", "COM10", "LPT", "nul_", "a.con", "\xF0\x9F\x93\xA6"}) {
        EXPECT_TRUE(IsPortableFileName(name)) << name;
    }
    for (const char* name :
         {"", ".hidden", "a/b", "a\\b", "a\tb", "pkgindex.txt::$DATA", "velmora.exe:x", "a<b",
          "a>b", "a\"b", "a|b", "a?b", "a*b", "7.2.", "7.2 ", "CON", "con", "Con.txt", "NUL.tar.gz",
          "CON .txt", "prn", "AUX", "COM0", "com9.log", "LPT0", "lpt5", "COM\xC2\xB9",
          "lpt\xC2\xB3.txt", "CONIN$", "conout$.x",
          // Not UTF-8: cut short, stray, overlong, a surrogate, past U+10FFFF.
          "a\xC3", "a\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
          "\xFF"}) {
        EXPECT_FALSE(IsPortableFileName(name)) << testing::PrintToString(std::string(name));
    }
}

// Every pair a Windows disk, a casefolding folder or a USB stick could take
// for one file has one key.
TEST(ServerNamesTest, NamesThatADiskMayTakeForOneFileHaveOneKey) {
    const char* same[][2] = {
        {"QD003.bin", "qd003.bin"},
        {"\xC3\xA9_03.bin", "\xC3\x89_03.bin"},   // é and É
        {"\xC3\xA9_03.bin", "e\xCC\x81_03.bin"},  // precomposed and decomposed
        {"stra\xC3\x9Fl", "STRASSL"},             // ß folds to ss
        {"\xE2\x84\xAAilo", "kilo"},              // the Kelvin sign
        {"x\xCE\xA3", "x\xCF\x82"},               // capital and final sigma
    };
    for (const auto& pair : same) {
        EXPECT_EQ(NameKey(pair[0]), NameKey(pair[1])) << pair[0] << " and " << pair[1];
    }
    EXPECT_NE(NameKey("qd003.bin"), NameKey("qd003.bim"));
    EXPECT_NE(NameKey("\xC3\xA9"), NameKey("e"));
    for (const char* name : {"QD003.bin", "\xC3\x89_03", "\xE1\xBA\x9E", "\xEF\xAC\x80"}) {
        EXPECT_EQ(NameKey(NameKey(name)), NameKey(name)) << name;
    }

    PackageIndex index;
    index.m_productVersion = "7.2";
    index.m_partSize = 10;
    index.m_parts = {{"\xC3\xA9_03.bin", 0}, {"\xC3\x89_03.bin", 0}};
    EXPECT_FALSE(IsSafeIndex(index)) << "two parts, one file on a Windows disk";
    index.m_parts = {{"K.001", 0}, {"\xE2\x84\xAA.001", 0}};
    EXPECT_FALSE(IsSafeIndex(index)) << "an ASCII name and another with its key";
    index.m_parts = {{"PKGINDEX.TXT", 0}};
    EXPECT_FALSE(IsSafeIndex(index)) << "the resume state's name";
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
