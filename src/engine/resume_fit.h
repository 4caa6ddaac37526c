#pragma once

class OwnFolder;
class PackageIndex;

enum class ResumeFit {
    Unchanged,  // the resume state has the layout the server publishes now
    Refitted,   // it was changed to the layout published now
    Failed,     // the new resume state could not be saved; nothing was lost
};

// Fits the resume state of a version folder to the index the server
// publishes now for that version, when the two differ in part size, part
// count or part names (the maker republished the version, or another
// server answered before). Parts whose name is still published and whose
// file still has a published part's size are kept: with the maker's
// checksums they are checked against them before they count as done (the
// worker hashes them, not the window); without, they keep their done flags.
// Every other file of the program's own in the folder goes: parts no longer
// published, the installer and what belongs to it. Nothing foreign is ever
// recorded as done, and no part that still fits is deleted.
ResumeFit FitResumeState(PackageIndex& resume, const PackageIndex& published,
                         const OwnFolder& folder, bool checksumsKnown);
