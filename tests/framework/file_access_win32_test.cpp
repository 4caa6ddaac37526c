// Access lists on Windows: what the program gives the folders it makes
// private, what it reads from a list to tell whether only the user can
// change an entry or move a path, read and set here with the system's own
// calls; and second names (hard links) made through a held folder.
//
// Wine (8) keeps no access list: it makes the POSIX mode of one that is set
// and a list of the mode when one is read (SYSTEM, the owner and Everyone).
// There only the cases that a mode can hold run; the others skip.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/file_system.h"
#include "support/temp_dir.h"

namespace {

constexpr char kNoAccessLists[] =
    "no access list that is set is kept here (Wine keeps only the POSIX mode it makes of one)";

struct LocalFreed {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalPointer = std::unique_ptr<void, LocalFreed>;

std::wstring Wide(const std::string& path) {
    return std::filesystem::u8path(path).wstring();
}

std::string Narrow(const std::wstring& text) {
    const std::u8string bytes = std::filesystem::path(text).u8string();
    return std::string(bytes.begin(), bytes.end());
}

std::wstring UserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    LPWSTR text = nullptr;
    const bool got =
        size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text);
    CloseHandle(token);
    const LocalPointer held(text);
    return got ? std::wstring(text) : std::wstring();
}

// `sddl` with every "%U" standing for the user's SID.
std::wstring WithUser(std::wstring sddl) {
    const std::wstring user = UserSid();
    for (std::size_t at = sddl.find(L"%U"); at != std::wstring::npos; at = sddl.find(L"%U", at)) {
        sddl.replace(at, 2, user);
        at += user.size();
    }
    return sddl;
}

// Gives the entry the access list of `sddl` ("D:P(...)" protected, "D:(...)"
// not, "D:NO_ACCESS_CONTROL" a null one).
bool SetAccessList(const std::string& path, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            WithUser(sddl).c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    const LocalPointer held(descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
        !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        return false;
    }
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    std::wstring wide = Wide(path);
    return SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, what, nullptr, nullptr, dacl,
                                 nullptr) == ERROR_SUCCESS;
}

struct AccessList {
    bool isProtected = false;
    // The entries in SDDL, "(A;OICI;FA;;;SY)...", SIDs as the system names
    // them.
    std::wstring entries;
};

AccessList ReadAccessList(const std::string& path) {
    AccessList list;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(Wide(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return list;
    }
    const LocalPointer held(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    LPWSTR text = nullptr;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision) &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        const LocalPointer heldText(text);
        const std::wstring sddl(text);
        list.isProtected = (control & SE_DACL_PROTECTED) != 0;
        const std::size_t first = sddl.find(L'(');
        list.entries = first == std::wstring::npos ? std::wstring() : sddl.substr(first);
    }
    return list;
}

// Whom the entries name besides the user, SYSTEM and the administrators.
std::wstring Others(const std::wstring& entries) {
    const std::wstring user = UserSid();
    std::wstring others;
    for (std::size_t end = entries.find(L')'); end != std::wstring::npos;
         end = entries.find(L')', end + 1)) {
        const std::size_t begin = entries.rfind(L';', end) + 1;
        const std::wstring sid = entries.substr(begin, end - begin);
        if (sid != user && sid != L"SY" && sid != L"BA") {
            others += sid + L" ";
        }
    }
    return others;
}

// Whether a list set on a scratch folder reads back as it was set: one that
// the POSIX mode cannot hold (the administrators, protected).
bool KeepsAccessLists(const TempDir& temp) {
    const std::string probe = temp / "probe";
    const std::wstring entries = WithUser(L"(A;;FA;;;%U)(A;;FA;;;BA)");
    if (!MakeFolder(probe) || !SetAccessList(probe, L"D:P" + entries)) {
        return false;
    }
    const AccessList list = ReadAccessList(probe);
    return list.isProtected && list.entries == entries;
}

void WriteOwn(const OwnFolder& folder, const std::string& name, const std::string& data) {
    FileHandle file = CreateOwnFile(folder, name);
    ASSERT_TRUE(file.IsOpen()) << name << ": " << SystemErrorText();
    ASSERT_TRUE(WriteAll(file, data));
    ASSERT_TRUE(file.Close());
}

OwnFolder Subfolder(const OwnFolder& folder, const std::string& name,
                    NewFile access = NewFile::Shared) {
    Result<OwnFolder> subfolder = folder.Subfolder(name, true, access);
    EXPECT_TRUE(subfolder) << name << ": " << SystemErrorText(subfolder.Error().systemError);
    return subfolder ? *subfolder : OwnFolder();
}

bool OnlyUserWrites(const std::string& path) {
    EntryInfo info;
    EXPECT_TRUE(StatPath(path, info)) << path << ": " << SystemErrorText();
    return info.onlyUserWrites;
}

TEST(FileAccessWin32Test, APrivateFolderLetsNobodyElseInAndOneThatIsThereStaysAsItIs) {
    TempDir temp;
    const OwnFolder base = OwnFolder::Open(temp.Path());
    ASSERT_TRUE(base.IsOpen()) << SystemErrorText();
    Subfolder(base, "made", NewFile::Private);
    ASSERT_TRUE(MakeFolder(temp / "by-path", NewFile::Private));
    for (const std::string& path : {temp / "made", temp / "by-path"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Others(ReadAccessList(path).entries), L"");
        EXPECT_TRUE(OnlyUserWrites(path));
    }

    const OwnFolder shared = Subfolder(base, "shared");
    const AccessList before = ReadAccessList(temp / "shared");
    EXPECT_TRUE(MakeFolder(temp / "shared", NewFile::Private));
    Subfolder(base, "shared", NewFile::Private);
    const AccessList after = ReadAccessList(temp / "shared");
    EXPECT_EQ(after.isProtected, before.isProtected);
    EXPECT_EQ(after.entries, before.entries);
}

TEST(FileAccessWin32Test, APrivateFolderHasAProtectedListThatWhatIsMadeInItInherits) {
    TempDir temp;
    if (!KeepsAccessLists(temp)) {
        GTEST_SKIP() << kNoAccessLists;
    }
    const OwnFolder base = OwnFolder::Open(temp.Path());
    ASSERT_TRUE(base.IsOpen()) << SystemErrorText();
    const OwnFolder made = Subfolder(base, "made", NewFile::Private);
    ASSERT_TRUE(MakeFolder(temp / "by-path", NewFile::Private));
    for (const std::string& path : {temp / "made", temp / "by-path"}) {
        SCOPED_TRACE(path);
        const AccessList list = ReadAccessList(path);
        EXPECT_TRUE(list.isProtected);
        EXPECT_EQ(list.entries, WithUser(L"(A;OICI;FA;;;%U)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"));
    }
    WriteOwn(made, "file", "data");
    EXPECT_EQ(ReadAccessList(temp / "made" / "file").entries,
              WithUser(L"(A;ID;FA;;;%U)(A;ID;FA;;;SY)(A;ID;FA;;;BA)"));
}

TEST(FileAccessWin32Test, OnlyTheUserWritesWhereNoEntryLetsAnybodyElseChangeIt) {
    TempDir temp;
    const bool keepsLists = KeepsAccessLists(temp);
    struct Case {
        const wchar_t* list;
        bool onlyUser;
        // What a POSIX mode can hold as well: Wine without lists keeps
        // just the mode that it makes of a list.
        bool modeHolds;
    };
    const Case cases[] = {
        {L"D:P(A;OICI;FA;;;%U)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, true},
        // Reading, listing and running: 0x1200a9.
        {L"D:P(A;OICI;FA;;;%U)(A;OICI;0x1200a9;;;WD)", true, true},
        {L"D:P(A;OICI;FA;;;%U)(A;OICI;FW;;;WD)", false, true},
        // Everybody may do everything.
        {L"D:NO_ACCESS_CONTROL", false, false},
        // For what is made inside, not for the folder itself.
        {L"D:P(A;OICI;FA;;;%U)(A;OICIIO;FA;;;WD)", true, false},
        // Denying entries give nothing.
        {L"D:P(D;;FA;;;AN)(A;OICI;FA;;;%U)", true, false},
        {L"D:P(A;OICI;FA;;;%U)(A;;GW;;;BU)", false, false},
        {L"D:P(A;OICI;FA;;;%U)(A;;GA;;;AU)", false, false},
        // DELETE, FILE_DELETE_CHILD, FILE_APPEND_DATA, WRITE_DAC, WRITE_OWNER.
        {L"D:P(A;OICI;FA;;;%U)(A;;0x10000;;;WD)", false, false},
        {L"D:P(A;OICI;FA;;;%U)(A;;0x40;;;WD)", false, false},
        {L"D:P(A;OICI;FA;;;%U)(A;;0x4;;;BU)", false, false},
        {L"D:P(A;OICI;FA;;;%U)(A;;0x40000;;;WD)", false, false},
        {L"D:P(A;OICI;FA;;;%U)(A;;0x80000;;;WD)", false, false},
    };
    const OwnFolder base = OwnFolder::Open(temp.Path());
    ASSERT_TRUE(base.IsOpen()) << SystemErrorText();
    int number = 0;
    for (const Case& each : cases) {
        if (!keepsLists && !each.modeHolds) {
            continue;
        }
        SCOPED_TRACE(Narrow(each.list));
        const std::string name = "case" + std::to_string(++number);
        Subfolder(base, name);
        WriteOwn(base, name + ".file", "data");
        ASSERT_TRUE(SetAccessList(temp / name, each.list)) << SystemErrorText();
        ASSERT_TRUE(SetAccessList(temp / (name + ".file"), each.list)) << SystemErrorText();

        EntryInfo info;
        ASSERT_TRUE(StatOwnEntry(base, name, info)) << SystemErrorText();
        EXPECT_EQ(info.onlyUserWrites, each.onlyUser) << "folder by name";
        // Held without READ_CONTROL: the list is read all the same.
        const OwnFolder held = OwnFolder::Open(temp / name);
        ASSERT_TRUE(StatFile(held.Handle(), info)) << SystemErrorText();
        EXPECT_EQ(info.onlyUserWrites, each.onlyUser) << "held folder";
        EXPECT_EQ(OnlyUserWrites(temp / (name + ".file")), each.onlyUser) << "file by path";
        const FileHandle file = OpenOwnFileForReading(base, name + ".file");
        ASSERT_TRUE(StatFile(file, info)) << SystemErrorText();
        EXPECT_EQ(info.onlyUserWrites, each.onlyUser) << "open file";
    }
    if (!keepsLists) {
        GTEST_SKIP() << "only the lists a POSIX mode can hold were tried: " << kNoAccessLists;
    }
}

TEST(FileAccessWin32Test, LinksAnOpenFileUnderANewNameInAHeldFolder) {
    TempDir temp;
    const OwnFolder base = OwnFolder::Open(temp.Path());
    ASSERT_TRUE(base.IsOpen()) << SystemErrorText();
    const OwnFolder other = Subfolder(base, "other");
    WriteOwn(base, "file", "content");
    WriteOwn(other, "taken", "someone's");
    const FileHandle file = OpenOwnFileForReading(base, "file");
    ASSERT_TRUE(file.IsOpen()) << SystemErrorText();

    ASSERT_TRUE(LinkOwnFile(file, other, "second")) << SystemErrorText();
    EntryInfo original;
    EntryInfo linked;
    ASSERT_TRUE(StatFile(file, original));
    ASSERT_TRUE(StatOwnEntry(other, "second", linked)) << SystemErrorText();
    EXPECT_EQ(linked.identity, original.identity);
    EXPECT_EQ(linked.links, 2u);
    EXPECT_EQ(ReadAll(OpenOwnFileForReading(other, "second")), "content");
    // The name lies in the held folder, not where the file's own is.
    EntryInfo none;
    EXPECT_FALSE(StatOwnEntry(base, "second", none));

    // A name that is taken stays as it is.
    EXPECT_FALSE(LinkOwnFile(file, other, "taken"));
    EXPECT_FALSE(LinkOwnFile(file, other, "second"));
    EXPECT_FALSE(LinkOwnFile(file, base, "file"));
    EXPECT_EQ(ReadAll(OpenOwnFileForReading(other, "taken")), "someone's");
    ASSERT_TRUE(StatFile(file, original));
    EXPECT_EQ(original.links, 2u);
}

TEST(FileAccessWin32Test, OpensAPathOnlyWhereNobodyElseCanMoveWhatItPassesThrough) {
    TempDir temp;
    const bool keepsLists = KeepsAccessLists(temp);
    const OwnFolder base = OwnFolder::Open(temp.Path());
    ASSERT_TRUE(base.IsOpen()) << SystemErrorText();
    // The list of a folder on the way, and whether the private folder below
    // it is reached.
    struct Case {
        const wchar_t* list;
        bool reached;
        bool modeHolds;
    };
    const Case cases[] = {
        {L"D:P(A;OICI;FA;;;%U)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true, true},
        {L"D:P(A;OICI;FA;;;%U)(A;;0x1200a9;;;WD)", true, true},
        {L"D:P(A;OICI;FA;;;%U)(A;;FW;;;WD)", false, true},
        // Anybody may add entries, as to C:\; none that is there moves.
        {L"D:P(A;OICI;FA;;;%U)(A;;0x1200af;;;WD)", true, false},
        // Anybody may delete what is in it (FILE_DELETE_CHILD).
        {L"D:P(A;OICI;FA;;;%U)(A;;0x1200e9;;;WD)", false, false},
        // Anybody may move the folder itself (DELETE).
        {L"D:P(A;OICI;FA;;;%U)(A;;0x1300a9;;;WD)", false, false},
        // Anybody may rewrite its list.
        {L"D:P(A;OICI;FA;;;%U)(A;;WD;;;BU)", false, false},
    };
    int number = 0;
    for (const Case& each : cases) {
        if (!keepsLists && !each.modeHolds) {
            continue;
        }
        SCOPED_TRACE(Narrow(each.list));
        const std::string name = "case" + std::to_string(++number);
        const OwnFolder way = Subfolder(base, name);
        Subfolder(way, "private", NewFile::Private);
        ASSERT_TRUE(SetAccessList(temp / name, each.list)) << SystemErrorText();

        const std::string path = temp / name / "private";
        const OwnFolder reached = OwnFolder::OpenBeyondOthersReach(path);
        ASSERT_EQ(reached.IsOpen(), each.reached) << SystemErrorText();
        if (reached.IsOpen()) {
            EXPECT_EQ(reached.Path(), path);
            WriteOwn(reached, "file", "through the held folder");
            EXPECT_EQ(ReadFile(path / "file"), "through the held folder");
        }
    }

    // The last folder itself may be changed by nobody else either.
    const OwnFolder open = Subfolder(base, "open");
    ASSERT_TRUE(SetAccessList(temp / "open", L"D:P(A;OICI;FA;;;%U)(A;;0x1200ab;;;WD)"));
    EXPECT_FALSE(OwnFolder::OpenBeyondOthersReach(temp / "open").IsOpen());

    std::string slashes = temp / "case1" / "private";
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    EXPECT_TRUE(OwnFolder::OpenBeyondOthersReach(slashes).IsOpen()) << slashes;
    EXPECT_FALSE(
        OwnFolder::OpenBeyondOthersReach(temp / "case1" / ".." / "case1" / "private").IsOpen());
    EXPECT_FALSE(OwnFolder::OpenBeyondOthersReach("case1\\private").IsOpen());
    EXPECT_FALSE(OwnFolder::OpenBeyondOthersReach("\\\\server\\share").IsOpen());
    if (!keepsLists) {
        GTEST_SKIP() << "only the lists a POSIX mode can hold were tried: " << kNoAccessLists;
    }
}

}  // namespace
