#pragma once

#include <string>

class PackageIndex;

// What the server sends becomes folder and file names verbatim; these checks
// decide which names can safely do so.

// True for a name that can safely become one path element: not empty, not
// beginning with "." (so neither "." nor ".." nor a hidden name), no "/" or
// "\", no control character, at most 255 bytes.
bool IsPlainFileName(const std::string& name);

// True for the names the program itself uses in a version folder, which no
// part may take.
bool IsReservedFileName(const std::string& name);

// True when the index names only plain version and part names, no part
// twice and none of the program's own files, and has a positive part size
// once it has a part. Linear in the number of parts.
bool IsSafeIndex(const PackageIndex& index);
