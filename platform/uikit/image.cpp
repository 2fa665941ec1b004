// UIImage (PNG files, decoded with libpng) and UIImageView.
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/files.h"
#include "uikit_internal.h"

namespace host::uikit::internal {
namespace {

// Larger images are refused rather than risk an allocation the device would not make either.
constexpr unsigned long kMaxPixels = 64ul * 1024 * 1024;

// "@2x" or "@3x" at the end of the file's stem gives the image's scale, as UIKit reads it.
CGFloat scaleFromName(const std::string& path) {
  std::string stem = path.substr(path.find_last_of('/') + 1);
  stem = stem.substr(0, stem.find_last_of('.'));
  if (stem.size() >= 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0) return 2;
  if (stem.size() >= 3 && stem.compare(stem.size() - 3, 3, "@3x") == 0) return 3;
  return 1;
}

// Decodes the whole file, so a truncated or corrupt PNG counts as unreadable. Only a regular file is
// read (a FIFO in its place is refused, not waited on).
bool decodePNG(const char* path, Bitmap& bitmap) {
  int fd = host::files::openRegular(path);
  std::FILE* file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    if (fd >= 0) close(fd);
    return false;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  bool ok = png_image_begin_read_from_stdio(&image, file) != 0;
  if (ok && static_cast<unsigned long>(image.width) * image.height > kMaxPixels) ok = false;
  if (ok) {
    image.format = PNG_FORMAT_RGBA;
    bitmap.rgba.resize(PNG_IMAGE_SIZE(image));
    ok = png_image_finish_read(&image, nullptr, bitmap.rgba.data(), 0, nullptr) != 0;
  }
  png_image_free(&image);
  std::fclose(file);
  if (!ok) return false;
  bitmap.width = image.width;
  bitmap.height = image.height;
  return true;
}

Bitmap*& bitmapOf(id image) { return ivarRef<Bitmap*>(image, "_hostBitmap"); }

// Nil for a nil path, a missing file, or a file that is not a complete PNG image.
id imageInitWithContentsOfFile(id self, SEL, id path) {
  const char* file = path != nullptr ? send<const char*>(path, "UTF8String") : nullptr;
  auto bitmap = std::make_unique<Bitmap>();
  if (file == nullptr || !decodePNG(file, *bitmap)) {
    release(self);
    return nullptr;
  }
  CGFloat scale = scaleFromName(file);
  ivarRef<CGSize>(self, "_size") = CGSizeMake(bitmap->width / scale, bitmap->height / scale);
  bitmapOf(self) = bitmap.release();
  ivarRef<CGFloat>(self, "_scale") = scale;
  return self;
}
id imageWithContentsOfFile(id cls, SEL, id path) {
  return autorelease(imageInitWithContentsOfFile(send(cls, "alloc"), nullptr, path));
}
// The image keeps its pixels for its lifetime, as a UIImage holds its bitmap.
void imageDealloc(id self, SEL) {
  delete bitmapOf(self);
  bitmapOf(self) = nullptr;
  sendSuper<void>(self, requireClass("NSObject"), "dealloc");
}
CGSize imageSize(id self, SEL) { return ivarRef<CGSize>(self, "_size"); }
CGFloat imageScale(id self, SEL) { return ivarRef<CGFloat>(self, "_scale"); }

// ---- UIImageView ----

// An image view made for an image takes the image's size.
id imageViewInitWithImage(id self, SEL, id image) {
  CGSize size = send<CGSize>(image, "size");
  self = send(self, "initWithFrame:", CGRectMake(0, 0, size.width, size.height));
  send<void>(self, "setImage:", image);
  return self;
}

}  // namespace

void defineImages() {
  ClassBuilder("UIImage", "NSObject")
      .ivar<CGSize>("_size")
      .ivar<CGFloat>("_scale")
      .ivar<Bitmap*>("_hostBitmap")
      .method("dealloc", &imageDealloc)
      .classMethod("imageWithContentsOfFile:", &imageWithContentsOfFile)
      .method("initWithContentsOfFile:", &imageInitWithContentsOfFile)
      .method("size", &imageSize)
      .method("scale", &imageScale)
      .registerClass();
  ClassBuilder("UIImageView", "UIView")
      .strongProperty("image")
      .method("initWithImage:", &imageViewInitWithImage)
      .registerClass();
}

}  // namespace host::uikit::internal

namespace host::uikit {

const Bitmap* imagePixels(id image) {
  if (!isKindOf(image, requireClass("UIImage"))) return nullptr;
  return internal::bitmapOf(image);
}

}  // namespace host::uikit
