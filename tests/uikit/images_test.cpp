// Images: PNG files decode to their size; anything else is nil.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>

#include "support/temp_dir.h"
#include "uikit_test_support.h"

namespace {

using namespace uikit_testing;
using host::send;
using testing_support::TempDir;

void writePNG(const std::filesystem::path& file, unsigned width, unsigned height) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image), 0x80);
  ASSERT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, pixels.data(), 0, nullptr));
}

id imageAt(const std::filesystem::path& file) {
  return send(cls("UIImage"), "imageWithContentsOfFile:", nsString(file.string()));
}

TEST(Images, APNGFileGivesAnImageOfItsSize) {
  host::AutoreleasePool pool;
  TempDir dir;
  writePNG(dir / "banner.png", 320, 120);
  id image = imageAt(dir / "banner.png");
  ASSERT_NE(image, nullptr);
  CGSize size = send<CGSize>(image, "size");
  EXPECT_EQ(size.width, 320);
  EXPECT_EQ(size.height, 120);
}

TEST(Images, AnAt2xFileCountsItsPixelsAsHalfPoints) {
  host::AutoreleasePool pool;
  TempDir dir;
  writePNG(dir / "banner@2x.png", 320, 120);
  id image = imageAt(dir / "banner@2x.png");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(send<CGSize>(image, "size").width, 160);
  EXPECT_EQ(send<CGFloat>(image, "scale"), 2.0);
}

TEST(Images, AMissingFileANilPathOrAFileThatIsNotACompletePNGGiveNil) {
  host::AutoreleasePool pool;
  TempDir dir;
  long before = host::liveObjectCount();
  EXPECT_EQ(imageAt(dir / "absent.png"), nullptr);
  EXPECT_EQ(send(cls("UIImage"), "imageWithContentsOfFile:", id{nullptr}), nullptr);
  testing_support::writeFile(dir / "garbage.png", "this is not an image");
  EXPECT_EQ(imageAt(dir / "garbage.png"), nullptr);
  writePNG(dir / "whole.png", 64, 64);
  std::string bytes = testing_support::readFile(dir / "whole.png");
  testing_support::writeFile(dir / "truncated.png", bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(imageAt(dir / "truncated.png"), nullptr);
  EXPECT_EQ(imageAt(dir.path()), nullptr);  // a folder
  pool.drain();
  EXPECT_EQ(host::liveObjectCount(), before);
}

TEST(ImageViews, ShowTheImageTheyAreGiven) {
  host::AutoreleasePool pool;
  TempDir dir;
  writePNG(dir / "b.png", 10, 20);
  id view = newView("UIImageView", CGRectMake(0, 0, 160, 160));
  EXPECT_EQ(send(view, "image"), nullptr);
  id image = imageAt(dir / "b.png");
  send<void>(view, "setImage:", image);
  EXPECT_EQ(send(view, "image"), image);
  send<void>(view, "setContentMode:", 2L);
  EXPECT_EQ(send<long>(view, "contentMode"), 2);
  host::release(view);
}

}  // namespace
