// PNG files written by hand: the signature, chunks with their CRC, and image data in a zlib stream
// of stored (uncompressed) deflate blocks, so that nothing beyond the standard library is needed.
// The program that draws the images writes whole files with it; the PNG checker's tests build
// damaged ones from the same pieces.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace png {

using Bytes = std::vector<uint8_t>;

inline constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// CRC-32 as PNG computes it over a chunk's type and data.
inline uint32_t crc32(std::span<const uint8_t> bytes, uint32_t crc = 0) {
  crc = ~crc;
  for (const uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void appendBigEndian32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// A chunk: its length, its four-letter type, its data, and the CRC of type and data.
inline void appendChunk(Bytes& png, std::string_view type, std::span<const uint8_t> data) {
  appendBigEndian32(png, static_cast<uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type.begin(), type.end());
  png.insert(png.end(), data.begin(), data.end());
  appendBigEndian32(png, crc32(std::span(png).subspan(start)));
}

// IHDR's data: the size, the bit depth and colour type, no interlace.
inline Bytes header(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType) {
  Bytes data;
  appendBigEndian32(data, width);
  appendBigEndian32(data, height);
  data.insert(data.end(), {bitDepth, colorType, 0, 0, 0});
  return data;
}

// A zlib stream holding data in stored deflate blocks of at most 65535 bytes.
inline Bytes zlibStored(std::span<const uint8_t> data) {
  Bytes out{0x78, 0x01};
  std::size_t offset = 0;
  do {
    const std::size_t length = std::min<std::size_t>(data.size() - offset, 65535);
    const bool last = offset + length == data.size();
    out.insert(out.end(), {static_cast<uint8_t>(last ? 1 : 0), static_cast<uint8_t>(length),
                           static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(~length),
                           static_cast<uint8_t>(~length >> 8)});
    const auto block = data.subspan(offset, length);
    out.insert(out.end(), block.begin(), block.end());
    offset += length;
  } while (offset < data.size());
  uint32_t a = 1, b = 0;  // Adler-32
  for (const uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  appendBigEndian32(out, (b << 16) | a);
  return out;
}

// A whole PNG file of 8-bit RGBA pixels: rows holds each row preceded by its filter type.
inline Bytes rgba(uint32_t width, uint32_t height, std::span<const uint8_t> rows) {
  Bytes out(kSignature.begin(), kSignature.end());
  appendChunk(out, "IHDR", header(width, height, 8, 6));
  appendChunk(out, "IDAT", zlibStored(rows));
  appendChunk(out, "IEND", {});
  return out;
}

}  // namespace png
