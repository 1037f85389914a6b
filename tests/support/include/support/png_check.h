// Structural check of a PNG file: signature, chunk framing and CRCs, a sound IHDR first, image
// data, IEND last. Pixel data is not decompressed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

struct PngHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bitDepth = 0;
  uint8_t colorType = 0;
};

struct PngCheck {
  bool valid = false;
  std::string error;  // why the file is not a valid PNG; empty when it is
  PngHeader header;
};

PngCheck checkPng(std::span<const uint8_t> file);
PngCheck checkPngFile(const std::filesystem::path& path);
