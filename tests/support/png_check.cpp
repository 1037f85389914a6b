#include "support/png_check.h"

#include <algorithm>

#include "png/png_writer.h"
#include "support/read_file.h"

namespace {

constexpr uint32_t kMaxChunkLength = 0x7fffffff;

uint32_t readBigEndian32(std::span<const uint8_t> bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
         uint32_t{bytes[3]};
}

PngCheck invalid(std::string why) {
  return PngCheck{false, std::move(why), {}};
}

bool isLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The bit depths that each colour type allows.
bool isAllowedDepth(uint8_t colorType, uint8_t bitDepth) {
  switch (colorType) {
    case 0:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 3:
      return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case 2:
    case 4:
    case 6:
      return bitDepth == 8 || bitDepth == 16;
    default:
      return false;
  }
}

}  // namespace

PngCheck checkPng(std::span<const uint8_t> file) {
  if (file.size() < png::kSignature.size() ||
      !std::equal(png::kSignature.begin(), png::kSignature.end(), file.begin()))
    return invalid("no PNG signature");

  PngCheck result;
  bool sawHeader = false, sawPalette = false, sawData = false, dataEnded = false;
  std::size_t offset = png::kSignature.size();
  while (true) {
    if (file.size() - offset < 12)
      return invalid("truncated chunk at byte " + std::to_string(offset));
    const uint32_t length = readBigEndian32(file.subspan(offset, 4));
    const auto type = file.subspan(offset + 4, 4);
    const std::string name(type.begin(), type.end());
    if (length > kMaxChunkLength || file.size() - offset - 12 < length)
      return invalid("chunk " + name + " runs past the end of the file");
    for (const uint8_t c : type)
      if (!isLetter(c))
        return invalid("chunk type at byte " + std::to_string(offset) + " is not four letters");
    const auto data = file.subspan(offset + 8, length);
    const uint32_t storedCrc = readBigEndian32(file.subspan(offset + 8 + length, 4));
    if (png::crc32(file.subspan(offset + 4, 4 + length)) != storedCrc)
      return invalid("chunk " + name + " fails its CRC");
    offset += 12 + std::size_t{length};

    if (!sawHeader && name != "IHDR") return invalid("the first chunk is " + name + ", not IHDR");
    if (name == "IHDR") {
      if (sawHeader) return invalid("a second IHDR");
      if (length != 13) return invalid("IHDR is " + std::to_string(length) + " bytes, not 13");
      sawHeader = true;
      PngHeader& header = result.header;
      header.width = readBigEndian32(data.subspan(0, 4));
      header.height = readBigEndian32(data.subspan(4, 4));
      header.bitDepth = data[8];
      header.colorType = data[9];
      if (header.width == 0 || header.height == 0 || header.width > kMaxChunkLength ||
          header.height > kMaxChunkLength)
        return invalid("image size out of range");
      if (!isAllowedDepth(header.colorType, header.bitDepth))
        return invalid("bit depth and colour type do not agree");
      if (data[10] != 0 || data[11] != 0 || data[12] > 1)
        return invalid("unknown compression, filter or interlace method");
    } else if (name == "PLTE") {
      if (sawData) return invalid("PLTE after the image data");
      sawPalette = true;
    } else if (name == "IDAT") {
      if (dataEnded) return invalid("image data is not contiguous");
      sawData = true;
    } else if (name == "IEND") {
      if (!sawData) return invalid("no image data");
      if (result.header.colorType == 3 && !sawPalette)
        return invalid("a palette image without PLTE");
      if (length != 0) return invalid("IEND carries data");
      if (offset != file.size()) return invalid("bytes after IEND");
      result.valid = true;
      return result;
    } else if (sawData) {
      dataEnded = true;
    }
  }
}

PngCheck checkPngFile(const std::filesystem::path& path) {
  const auto bytes = readFile(path);
  if (!bytes) return invalid("cannot open " + path.string());
  return checkPng(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
}
