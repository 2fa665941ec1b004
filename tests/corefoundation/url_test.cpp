// URLs: file URLs for paths (the sound player's), strings parsed into parts, malformed strings.
#include "cf_test.h"

using namespace cftest;

namespace {

TEST(FileURLs, PathsAreEscapedAndDecodedBack) {
  host::AutoreleasePool pool;
  id url = host::send(cls("NSURL"), "fileURLWithPath:", ns("/var/jb/Library/Sounds/Soft Chime%.m4a"));
  EXPECT_EQ(str(host::send(url, "absoluteString")), "file:///var/jb/Library/Sounds/Soft%20Chime%25.m4a");
  EXPECT_EQ(str(host::send(url, "path")), "/var/jb/Library/Sounds/Soft Chime%.m4a");
  EXPECT_EQ(host::send<BOOL>(url, "isFileURL"), YES);
  EXPECT_EQ(str(host::send(url, "lastPathComponent")), "Soft Chime%.m4a");
  UInt8 buffer[256];
  ASSERT_TRUE(CFURLGetFileSystemRepresentation(reinterpret_cast<CFURLRef>(url), true, buffer, sizeof buffer));
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/var/jb/Library/Sounds/Soft Chime%.m4a");
  EXPECT_FALSE(CFURLGetFileSystemRepresentation(reinterpret_cast<CFURLRef>(url), true, buffer, 8));
}

TEST(FileURLs, CFCreatorsAndCopies) {
  long before = host::liveObjectCount();
  CFURLRef dir = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/var/mobile"), kCFURLPOSIXPathStyle, true);
  EXPECT_EQ(host::cf::toStdString(CFURLGetString(dir)), "file:///var/mobile/");
  CFStringRef path = CFURLCopyFileSystemPath(dir, kCFURLPOSIXPathStyle);
  EXPECT_EQ(host::cf::toStdString(path), "/var/mobile");
  CFRelease(path);
  const char* raw = "/tmp/a.caf";
  CFURLRef file = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(raw), 10, false);
  EXPECT_EQ(host::cf::toStdString(CFURLGetString(file)), "file:///tmp/a.caf");
  CFURLRef appended = CFURLCreateCopyAppendingPathComponent(nullptr, dir, CFSTR("b c"), false);
  EXPECT_EQ(host::cf::toStdString(CFURLGetString(appended)), "file:///var/mobile/b%20c");
  CFStringRef last = CFURLCopyLastPathComponent(appended);
  EXPECT_EQ(host::cf::toStdString(last), "b c");
  CFRelease(last);
  CFRelease(appended);
  CFRelease(file);
  CFRelease(dir);
  EXPECT_EQ(host::liveObjectCount(), before);  // CF functions leave nothing autoreleased
}

TEST(StringURLs, PartsOfAWebAddress) {
  host::AutoreleasePool pool;
  id url = host::send(cls("NSURL"), "URLWithString:", ns("https://user@example.com:8080/a/b%20c?x=1&y=2#top"));
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(str(host::send(url, "scheme")), "https");
  EXPECT_EQ(str(host::send(url, "host")), "example.com");
  EXPECT_EQ(host::send<long>(host::send(url, "port"), "integerValue"), 8080);
  EXPECT_EQ(str(host::send(url, "path")), "/a/b c");
  EXPECT_EQ(str(host::send(url, "query")), "x=1&y=2");
  EXPECT_EQ(str(host::send(url, "fragment")), "top");
  EXPECT_EQ(host::send<BOOL>(url, "isFileURL"), NO);
}

TEST(StringURLs, MailtoHasASchemeButNoPathOrHost) {
  host::AutoreleasePool pool;
  id url = host::send(cls("NSURL"), "URLWithString:", ns("mailto:dev@example.com?subject=Ravelo"));
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(str(host::send(url, "scheme")), "mailto");
  EXPECT_EQ(host::send(url, "host"), nullptr);
  EXPECT_EQ(host::send(url, "path"), nullptr);
  EXPECT_EQ(str(host::send(url, "absoluteString")), "mailto:dev@example.com?subject=Ravelo");
}

TEST(StringURLs, MalformedStringsGiveNil) {
  host::AutoreleasePool pool;
  EXPECT_EQ(host::send(cls("NSURL"), "URLWithString:", nullptr), nullptr);
  EXPECT_EQ(host::send(cls("NSURL"), "URLWithString:", ns("https://example.com/a b")), nullptr);
  EXPECT_EQ(host::send(cls("NSURL"), "URLWithString:", ns("https://example.com/100%")), nullptr);
  EXPECT_EQ(host::send(cls("NSURL"), "URLWithString:", ns("a#b#c")), nullptr);
  EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("has space"), nullptr), nullptr);
}

TEST(StringURLs, RelativeReferencesResolveAgainstTheBase) {
  host::AutoreleasePool pool;
  CFURLRef base = CFURLCreateWithString(nullptr, CFSTR("https://example.com/a/b/c"), nullptr);
  CFURLRef rel = CFURLCreateWithString(nullptr, CFSTR("../d?q"), base);
  EXPECT_EQ(host::cf::toStdString(CFURLGetString(rel)), "../d?q");
  EXPECT_EQ(str(host::send(toId(rel), "absoluteString")), "https://example.com/a/d?q");
  EXPECT_EQ(CFURLGetBaseURL(rel), base);
  CFRelease(rel);
  CFRelease(base);
}

}  // namespace
