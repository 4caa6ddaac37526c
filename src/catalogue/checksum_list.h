#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "framework/sha256.h"

// The list of checksums the maker publishes beside the index, SHA256SUMS, in
// the format of sha256sum: per file a line of its SHA-256 in 64 hexadecimal
// digits, two blanks (or a blank and "*", sha256sum's binary mark) and the
// file's name, ended by a line feed. It names the parts, the installer
// velmora.exe and the index pkgindex.txt, so that the index, and with it
// the version, is bound to the list.
class ChecksumList {
  public:
    // False for a line of any other shape, a name that is not a plain name,
    // or a name given twice.
    static bool Parse(const std::string& text, ChecksumList& list);
    // One line, without its line feed, as Parse reads it; false for a line
    // it would refuse.
    bool ParseLine(const std::string& line);
    // The longest line a name of up to 255 bytes gives, line feed included.
    static constexpr std::size_t kMaxLineBytes = 64 + 2 + 255 + 1;
    // The largest list that can fit the index: a line per part, for the
    // installer and for the index, and a little slack.
    static long long MaxBytesFor(const class PackageIndex& index);

    void Add(const std::string& name, const Sha256Digest& digest);
    // The digest of `name`, or null.
    const Sha256Digest* Find(const std::string& name) const;
    std::size_t Size() const { return m_order.size(); }
    // The list as sha256sum writes it, in the order the names were added.
    std::string Text() const;

  private:
    std::unordered_map<std::string, Sha256Digest> m_digests;
    std::vector<std::string> m_order;
};
