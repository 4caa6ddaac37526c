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

// What decides whether two names are one file: the name in Unicode
// normalization form D with full case folding. More aggressive than any one
// file system (Windows' disks ignore case for every letter, a casefolding
// ext4 folder folds and normalizes, a USB stick does its own), so that no
// disk can take two names with different keys for one file. Idempotent; in
// a name that is not valid UTF-8 only the ASCII letters are folded.
std::string NameKey(const std::string& name);

// True for the names the program itself uses in a package or version
// folder, by key, which no part or version may take.
bool IsReservedFileName(const std::string& name);

// True for the names under which Cleanup puts aside an unreadable resume
// state (kSetAsideIndexPrefix, a number, kSetAsideIndexSuffix).
bool IsSetAsideIndexName(const std::string& name);

// True when the index names only portable version and part names, no two
// parts with one key and none of the program's own files, and has
// a positive part size once it has a part. Linear in the number of parts.
bool IsSafeIndex(const PackageIndex& index);
