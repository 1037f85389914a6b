#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "png_check.h"

namespace {

using Bytes = std::vector<uint8_t>;

void appendBigEndian32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void appendChunk(Bytes& out, std::string_view type, const Bytes& data) {
  appendBigEndian32(out, static_cast<uint32_t>(data.size()));
  Bytes typed(type.begin(), type.end());
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  appendBigEndian32(out, pngCrc32(typed));
}

Bytes header(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType) {
  Bytes data;
  appendBigEndian32(data, width);
  appendBigEndian32(data, height);
  data.insert(data.end(), {bitDepth, colorType, 0, 0, 0});
  return data;
}

// A transparent RGBA image, its rows stored uncompressed in one zlib block.
Bytes imageData(uint32_t width, uint32_t height) {
  Bytes raw;
  for (uint32_t row = 0; row < height; ++row) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), std::size_t{width} * 4, 0);
  }
  Bytes zlib = {0x78, 0x01, 0x01};  // deflate, no compression, final block
  const auto size = static_cast<uint16_t>(raw.size());
  zlib.insert(zlib.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                           static_cast<uint8_t>(~size), static_cast<uint8_t>(~size >> 8)});
  zlib.insert(zlib.end(), raw.begin(), raw.end());
  uint32_t a = 1, b = 0;
  for (const uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  appendBigEndian32(zlib, b << 16 | a);
  return zlib;
}

Bytes png(uint32_t width, uint32_t height) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  appendChunk(out, "IHDR", header(width, height, 8, 6));
  appendChunk(out, "IDAT", imageData(width, height));
  appendChunk(out, "IEND", {});
  return out;
}

// Offsets in png(): the signature is 8 bytes, IHDR 25, IDAT follows.
constexpr std::size_t kIdat = 33;

}  // namespace

TEST(PngCheck, CrcIsTheOnePngUses) {
  // The CRC of the empty IEND chunk, as every PNG file ends with it.
  const Bytes iend = {'I', 'E', 'N', 'D'};
  EXPECT_EQ(pngCrc32(iend), 0xae426082u);
}

TEST(PngCheck, AcceptsAWellFormedImageAndReadsItsSize) {
  const PngCheck check = checkPng(png(36, 18));
  ASSERT_TRUE(check.valid) << check.error;
  EXPECT_EQ(check.header.width, 36u);
  EXPECT_EQ(check.header.height, 18u);
  EXPECT_EQ(check.header.bitDepth, 8);
  EXPECT_EQ(check.header.colorType, 6);
}

TEST(PngCheck, RejectsDamagedFraming) {
  const Bytes good = png(18, 18);

  Bytes badSignature = good;
  badSignature[1] = 'J';
  EXPECT_FALSE(checkPng(badSignature).valid);

  Bytes flippedPixel = good;
  flippedPixel[kIdat + 8 + 10] ^= 0x01;
  EXPECT_EQ(checkPng(flippedPixel).error, "chunk IDAT fails its CRC");

  const Bytes truncated(good.begin(), good.end() - 5);
  EXPECT_FALSE(checkPng(truncated).valid);

  Bytes trailing = good;
  trailing.push_back(0);
  EXPECT_EQ(checkPng(trailing).error, "bytes after IEND");

  const Bytes noEnd(good.begin(), good.end() - 12);
  EXPECT_FALSE(checkPng(noEnd).valid);
}

TEST(PngCheck, RejectsAnUnsoundHeaderOrMissingData) {
  Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

  Bytes dataFirst = signature;
  appendChunk(dataFirst, "IDAT", imageData(1, 1));
  appendChunk(dataFirst, "IHDR", header(1, 1, 8, 6));
  appendChunk(dataFirst, "IEND", {});
  EXPECT_EQ(checkPng(dataFirst).error, "the first chunk is IDAT, not IHDR");

  Bytes rgbaOf4Bits = signature;
  appendChunk(rgbaOf4Bits, "IHDR", header(1, 1, 4, 6));
  appendChunk(rgbaOf4Bits, "IDAT", imageData(1, 1));
  appendChunk(rgbaOf4Bits, "IEND", {});
  EXPECT_EQ(checkPng(rgbaOf4Bits).error, "bit depth and colour type do not agree");

  Bytes zeroWidth = signature;
  appendChunk(zeroWidth, "IHDR", header(0, 18, 8, 6));
  appendChunk(zeroWidth, "IDAT", imageData(0, 18));
  appendChunk(zeroWidth, "IEND", {});
  EXPECT_EQ(checkPng(zeroWidth).error, "image size out of range");

  Bytes noData = signature;
  appendChunk(noData, "IHDR", header(18, 18, 8, 6));
  appendChunk(noData, "IEND", {});
  EXPECT_EQ(checkPng(noData).error, "no image data");

  Bytes paletteless = signature;
  appendChunk(paletteless, "IHDR", header(18, 18, 8, 3));
  appendChunk(paletteless, "IDAT", imageData(18, 18));
  appendChunk(paletteless, "IEND", {});
  EXPECT_EQ(checkPng(paletteless).error, "a palette image without PLTE");
}

TEST(PngCheck, ReadsAFileFromDisk) {
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-png-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path folder = pattern;
  const auto path = folder / "image@2x.png";
  {
    const Bytes bytes = png(36, 36);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  const PngCheck check = checkPngFile(path);
  EXPECT_TRUE(check.valid) << check.error;
  EXPECT_EQ(check.header.width, 36u);
  EXPECT_FALSE(checkPngFile(folder / "missing.png").valid);
  std::filesystem::remove_all(folder);
}

// The status item's alternate image: 18 points square, at 1x and 2x.
TEST(AlternateImage, IsAValidPngAtBothResolutions) {
  const PngCheck normal = checkPngFile(QUORVEL_ALTERNATE_IMAGE);
  ASSERT_TRUE(normal.valid) << QUORVEL_ALTERNATE_IMAGE << ": " << normal.error;
  EXPECT_EQ(normal.header.width, 18u);
  EXPECT_EQ(normal.header.height, 18u);

  const PngCheck retina = checkPngFile(QUORVEL_ALTERNATE_IMAGE_2X);
  ASSERT_TRUE(retina.valid) << QUORVEL_ALTERNATE_IMAGE_2X << ": " << retina.error;
  EXPECT_EQ(retina.header.width, 36u);
  EXPECT_EQ(retina.header.height, 36u);
}
