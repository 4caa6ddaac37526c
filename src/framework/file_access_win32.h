#pragma once

// Who may change a file or folder on Windows, read from its access list,
// and the access list of what the program makes private. For the Windows
// mapping files only.

#include <windows.h>

#include <memory>

// The rights that change an object or replace what stands at its name.
// Generic rights are mapped to these before they are compared.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                      FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                      WRITE_DAC | WRITE_OWNER;

// True when nobody but the user, SYSTEM, the administrators or
// TrustedInstaller owns the object or holds any of `rights` on it by an
// entry of its access list. False when the list cannot be read or is null
// (everybody may do everything). The handle needs no READ_CONTROL: without
// it the object is opened again for that.
bool OnlyTrustedMay(HANDLE handle, ACCESS_MASK rights);

struct LocalFreeDeleter {
    void operator()(void* memory) const;
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

enum class PrivateKind { File, Folder };

// The user's alone, nothing inherited from the folder above: a file gets
// an access list of the user; a folder one of the user, SYSTEM and the
// administrators, which the files and folders made in it inherit. Null
// when it cannot be built.
SecurityDescriptor PrivateSecurity(PrivateKind kind);
