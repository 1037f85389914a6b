#include "support/png_check.h"

#include <gtest/gtest.h>

#include <string>

#include "png/png_writer.h"
#include "support/temp_dir.h"

namespace {

using png::appendChunk;
using png::Bytes;
using png::header;

// The rows of a transparent RGBA image, each after its filter type (none).
Bytes transparentRows(uint32_t width, uint32_t height) {
  return Bytes(std::size_t{height} * (1 + std::size_t{width} * 4), 0);
}

Bytes imageData(uint32_t width, uint32_t height) {
  return png::zlibStored(transparentRows(width, height));
}

Bytes image(uint32_t width, uint32_t height) {
  return png::rgba(width, height, transparentRows(width, height));
}

// Offsets in image(): the signature is 8 bytes, IHDR 25, IDAT follows.
constexpr std::size_t kIdat = 33;

}  // namespace

TEST(PngCheck, CrcIsTheOnePngUses) {
  // The CRC of the empty IEND chunk, as every PNG file ends with it.
  const Bytes iend = {'I', 'E', 'N', 'D'};
  EXPECT_EQ(png::crc32(iend), 0xae426082u);
}

TEST(PngCheck, AcceptsAWellFormedImageAndReadsItsSize) {
  const PngCheck check = checkPng(image(36, 18));
  ASSERT_TRUE(check.valid) << check.error;
  EXPECT_EQ(check.header.width, 36u);
  EXPECT_EQ(check.header.height, 18u);
  EXPECT_EQ(check.header.bitDepth, 8);
  EXPECT_EQ(check.header.colorType, 6);
}

TEST(PngCheck, RejectsDamagedFraming) {
  const Bytes good = image(18, 18);

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
  const Bytes signature(png::kSignature.begin(), png::kSignature.end());

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
  const TempDir dir;
  const Bytes bytes = image(36, 36);
  const auto path = dir.write("image@2x.png", std::string(bytes.begin(), bytes.end()));
  const PngCheck check = checkPngFile(path);
  EXPECT_TRUE(check.valid) << check.error;
  EXPECT_EQ(check.header.width, 36u);
  EXPECT_FALSE(checkPngFile(dir.path() / "missing.png").valid);
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
