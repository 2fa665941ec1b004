#include "pictures/png_image.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pictures_testing {

bool Rgb::near(const Rgb& o, int tolerance) const {
  return std::abs(r - o.r) <= tolerance && std::abs(g - o.g) <= tolerance && std::abs(b - o.b) <= tolerance;
}

Rgb Image::at(int x, int y) const {
  const std::uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
  return {p[0], p[1], p[2]};
}

Image readPng(const std::string& path) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  Image image;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    ADD_FAILURE() << "cannot read " << path;
    return image;
  }
  png.format = PNG_FORMAT_RGB;
  image.rgb.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
    ADD_FAILURE() << "cannot decode " << path;
    return {};
  }
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  return image;
}

std::vector<std::pair<int, int>> whiteRuns(const Image& image, int x, int fromY) {
  std::vector<std::pair<int, int>> runs;
  const Rgb white{255, 255, 255};
  for (int y = fromY; y < image.height; ++y) {
    if (!(image.at(x, y) == white)) continue;
    int top = y;
    while (y < image.height && image.at(x, y) == white) ++y;
    runs.emplace_back(top, y - top);
  }
  return runs;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace pictures_testing
