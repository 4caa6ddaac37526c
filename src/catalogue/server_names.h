#pragma once

#include <string>

class PackageIndex;

// What the server sends becomes folder and file names verbatim; these checks
// decide which names can safely do so.

// True for a name that can safely become one path element: not empty, not
// beginning with "." (so neither "." nor ".." nor a hidden name), no "/" or
// "\", no control character, at most 255 bytes.
bool IsPlainFileName(const std::string& name);

// Well-formed UTF-8: no stray or cut-short sequence, no longer form than
// needed, no surrogate. Windows would turn anything else into U+FFFD, and
// two server names into one file name.
bool IsValidUtf8(const std::string& text);

// A plain name that is also a good name on every file system the program
// runs on, Windows' included: valid UTF-8, no reserved device name (CON,
// PRN, AUX, NUL, COM0-9, LPT0-9 and COM¹ to LPT³, CONIN$, CONOUT$, in any
// case and with any extension), none of <>:"|?* (a colon would name an
// NTFS stream), no trailing dot or blank (Windows drops them, so the name
// would lead to another file). The rule for every server name on every
// platform, and what the publisher accepts, so that the program never
// refuses what it published.
bool IsPortableFileName(const std::string& name);

// The name with ASCII letters in lower case. Names are compared so
// wherever a file system may ignore case (a USB stick, a shared folder,
// every Windows disk): two names that differ only in case are one file.
std::string FoldedName(const std::string& name);

// True for the names the program itself uses in a package or version
// folder, in any letter case, which no part or version may take.
bool IsReservedFileName(const std::string& name);

// True when the index names only portable version and part names, no part
// twice (in any letter case) and none of the program's own files, and has
// a positive part size once it has a part. Linear in the number of parts.
bool IsSafeIndex(const PackageIndex& index);
