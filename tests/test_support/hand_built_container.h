// A container made block by block from the portable cipher and the layout alone, in CBC with a
// 32-byte password that is its own key and IV; filler is what FixedFiller gives.
#pragma once

#include <cstdint>
#include <string>

namespace corvalin::testing {

std::string HandBuiltContainer(const char (&magic)[9], int block, const std::string& password,
                               const std::string& payload, const std::string& name,
                               std::uint32_t time = 0, std::uint32_t compression_word = 0,
                               std::uint32_t uncompressed_size = 0);

}  // namespace corvalin::testing
