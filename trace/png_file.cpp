#include "trace/png_file.h"

#include <zlib.h>

#include <cstdio>
#include <memory>

namespace slash {
namespace {

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A chunk: length, type, data, and the CRC of type and data.
void AppendChunk(std::vector<std::uint8_t>& out, const char (&type)[5],
                 const std::vector<std::uint8_t>& data) {
  AppendBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t type_at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out.data() + type_at, static_cast<uInt>(out.size() - type_at));
  AppendBigEndian(out, static_cast<std::uint32_t>(crc));
}

std::vector<std::uint8_t> Header(int width, int height) {
  std::vector<std::uint8_t> header;
  AppendBigEndian(header, static_cast<std::uint32_t>(width));
  AppendBigEndian(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(),
                {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter choice, no interlace
  return header;
}

// Each row is stored with filter type 0 (none); zlib does the rest.
bool CompressedRows(int width, int height, const std::vector<std::uint8_t>& rgb,
                    std::vector<std::uint8_t>& compressed) {
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> raw;
  raw.reserve((row_bytes + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(row_bytes * y);
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(row_bytes));
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  compressed.resize(size);
  if (compress2(compressed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) {
    return false;
  }
  compressed.resize(size);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, int width, int height,
              const std::vector<std::uint8_t>& rgb) {
  if (width <= 0 || height <= 0 ||
      rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    return false;
  }
  std::vector<std::uint8_t> compressed;
  if (!CompressedRows(width, height, rgb, compressed)) return false;

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  AppendChunk(png, "IHDR", Header(width, height));
  AppendChunk(png, "IDAT", compressed);
  AppendChunk(png, "IEND", {});

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  // What stdio still buffers is written by fclose, which can fail too.
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace slash
