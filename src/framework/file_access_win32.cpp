#include "framework/file_access_win32.h"

// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> CopyOfSid(PSID sid) {
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return std::vector<unsigned char>(bytes, bytes + GetLengthSid(sid));
}

// The user the process runs as, read once: a process keeps its user.
const std::vector<unsigned char>& UserSid() {
    static const std::vector<unsigned char> sid = [] {
        std::vector<unsigned char> copy;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            return copy;
        }
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> user(size);
        if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
            copy = CopyOfSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
        }
        CloseHandle(token);
        return copy;
    }();
    return sid;
}

// The account that owns the system's own files; it has no well-known type.
const std::vector<unsigned char>& TrustedInstallerSid() {
    static const std::vector<unsigned char> sid = [] {
        std::vector<unsigned char> copy;
        PSID parsed = nullptr;
        if (ConvertStringSidToSidW(
                L"S-1-5-80-956008885-3418522649-1831038044-1850970813-2730730031", &parsed)) {
            copy = CopyOfSid(parsed);
            LocalFree(parsed);
        }
        return copy;
    }();
    return sid;
}

bool Equals(PSID sid, const std::vector<unsigned char>& other) {
    return !other.empty() && EqualSid(sid, const_cast<unsigned char*>(other.data()));
}

// CREATOR OWNER stands for whoever creates an entry below; it grants
// nothing on the object itself.
bool IsTrusted(PSID sid) {
    return IsValidSid(sid) &&
           (Equals(sid, UserSid()) || IsWellKnownSid(sid, WinLocalSystemSid) ||
            IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
            IsWellKnownSid(sid, WinCreatorOwnerSid) || Equals(sid, TrustedInstallerSid()));
}

DWORD ReadSecurity(HANDLE handle, PSID& owner, PACL& dacl, PSECURITY_DESCRIPTOR& descriptor) {
    return GetSecurityInfo(handle, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                           &dacl, nullptr, &descriptor);
}

}  // namespace

void LocalFreeDeleter::operator()(void* memory) const {
    // Freed on the way out of calls that failed: their error stays.
    const DWORD error = GetLastError();
    LocalFree(memory);
    SetLastError(error);
}

bool OnlyTrustedMay(HANDLE handle, ACCESS_MASK rights) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ReadSecurity(handle, owner, dacl, descriptor);
    if (error == ERROR_ACCESS_DENIED) {
        const HANDLE again =
            ReOpenFile(handle, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
        if (again == INVALID_HANDLE_VALUE) {
            return false;
        }
        error = ReadSecurity(again, owner, dacl, descriptor);
        CloseHandle(again);
    }
    if (error != ERROR_SUCCESS) {
        return false;
    }
    const SecurityDescriptor held(descriptor);
    // The owner may always rewrite the list.
    if (owner == nullptr || !IsTrusted(owner) || dacl == nullptr) {
        return false;
    }
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(dacl, index, &ace)) {
            return false;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        }
        // Every kind of allowing entry has its mask first; denying and
        // auditing ones give nothing.
        const BYTE type = header->AceType;
        if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE &&
            type != ACCESS_ALLOWED_OBJECT_ACE_TYPE &&
            type != ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE) {
            continue;
        }
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        ACCESS_MASK mask = allowed->Mask;
        MapGenericMask(&mask, &mapping);
        if ((mask & rights) == 0) {
            continue;
        }
        // Files carry no object entries; whom one names is not read here.
        const bool plain =
            type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        if (!plain || !IsTrusted(const_cast<DWORD*>(&allowed->SidStart))) {
            return false;
        }
    }
    return true;
}

SecurityDescriptor PrivateSecurity(PrivateKind kind) {
    const std::vector<unsigned char>& user = UserSid();
    LPWSTR text = nullptr;
    if (user.empty() || !ConvertSidToStringSidW(const_cast<unsigned char*>(user.data()), &text)) {
        return nullptr;
    }
    const std::wstring sid(text);
    LocalFree(text);
    // Protected (P): nothing is inherited from the folder above. A
    // folder's entries pass on to what is made in it (OI, CI).
    std::wstring sddl = L"D:P(A;;FA;;;" + sid + L")";
    if (kind == PrivateKind::Folder) {
        sddl = L"D:P(A;OICI;FA;;;" + sid + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return nullptr;
    }
    return SecurityDescriptor(descriptor);
}
