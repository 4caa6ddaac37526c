#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Base64 with the standard alphabet and "=" padding, as minisign writes its
// keys and signatures.
std::string EncodeBase64(const std::uint8_t* data, std::size_t length);

// Only the one encoding that EncodeBase64 gives for the bytes is accepted: a
// length that is a multiple of 4, the 64 letters of the alphabet, "=" only as
// the last one or two characters, and the bits that padding leaves unused all
// zero. No white space.
bool DecodeBase64(const std::string& text, std::vector<std::uint8_t>& bytes);
