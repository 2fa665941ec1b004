// Reading a picture back as a person looks at it: its pixels, and runs of a colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pictures_testing {

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
  // Within `tolerance` of `other` in every component.
  bool near(const Rgb& other, int tolerance = 1) const;
  int luminance() const { return (r * 299 + g * 587 + b * 114) / 1000; }
};

struct Image {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  Rgb at(int x, int y) const;
};

// The PNG at `path`, as 8-bit RGB; fails the test (and answers an empty image) when unreadable.
Image readPng(const std::string& path);

// The rows of a table as drawn: the runs of white in column `x` from `fromY` down, as (top, height).
std::vector<std::pair<int, int>> whiteRuns(const Image& image, int x, int fromY);

// The whole file, for comparing bytes.
std::string fileBytes(const std::string& path);

}  // namespace pictures_testing
