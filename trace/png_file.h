#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace slash {

// Writes 8-bit RGB pixels, row by row with no padding, as a PNG file.
// Returns false, with errno describing why, when the file cannot be written.
bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace slash
