#pragma once

#include <string>

class PackageIndex;

// What the server sends becomes folder and file names verbatim; these checks
// decide which names can safely do so.

// True for a name that can safely become one path element: not empty, not
// beginning with "." (so neither "." nor ".." nor a hidden name), no "/" or
// "\", no control character, at most 255 bytes.
bool IsPlainFileName(const std::string& name);

// A plain name that is also a good name on every file system the program
// runs on, Windows' included: no reserved device name (CON, NUL, COM1, ...
// with any extension), none of <>:"|?*, no trailing dot or blank. What the
// publisher accepts, so that the program never refuses what it published.
bool IsPortableFileName(const std::string& name);

// The name with ASCII letters in lower case. Names are compared so
// wherever a file system may ignore case (a USB stick, a shared folder,
// every Windows disk): two names that differ only in case are one file.
std::string FoldedName(const std::string& name);

// True for the names the program itself uses in a package or version
// folder, in any letter case, which no part or version may take.
bool IsReservedFileName(const std::string& name);

// True when the index names only plain version and part names, no part
// twice (in any letter case) and none of the program's own files, and has
// a positive part size once it has a part. Linear in the number of parts.
bool IsSafeIndex(const PackageIndex& index);
