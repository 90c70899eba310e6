// A small reader of the uncompressed bitmap files the resources are built
// from: every field is read through a bounds check, so a short or damaged
// file gives an error message instead of a read past its end.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Rgb = std::array<uint8_t, 3>;

struct BmpImage {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::vector<Rgb> palette;  // the colour table; empty above 8 bits per pixel
  std::vector<Rgb> pixels;   // width * height, top row first

  const Rgb& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Reads an uncompressed (BI_RGB) 8- or 24-bit BMP file, bottom-up or top-down.
// Returns false with `error` set when the file is missing, short or of another kind.
bool readBmp(const std::string& path, BmpImage& image, std::string& error);

// Reads the bytes of a whole file; false when it cannot be opened.
bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
