// The preferences store: one binary plist per domain below the device root, written through at once
// and atomically, and read once per change, so other processes' writes are seen at once.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "cf_test.h"
#include "host/trace.h"

using namespace cftest;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

const CFStringRef kDomain = CFSTR("xyz.dorvu..ravelo");

class Preferences : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    host::setTraceSink([](const char* line, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(line); },
                       &traces_);
  }
  void TearDown() override { host::setTraceSink(nullptr, nullptr); }

  std::string storeFile() const { return host::cf::preferencesFile("xyz.dorvu..ravelo"); }
  CFArrayRef keyList() { return CFPreferencesCopyKeyList(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost); }
  void set(const char* key, CFPropertyListRef value) {
    CFStringRef k = host::cf::makeString(key);
    CFPreferencesSetValue(k, value, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    CFRelease(k);
  }
  long integer(const char* key) {
    CFStringRef k = host::cf::makeString(key);
    CFPropertyListRef v = CFPreferencesCopyValue(k, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    CFRelease(k);
    if (v == nullptr) return -1;
    long result = host::send<long>(toId(v), "integerValue");
    CFRelease(v);
    return result;
  }
  CFNumberRef number(int value) { return CFNumberCreate(nullptr, kCFNumberIntType, &value); }

  std::vector<std::string> traces_;
};

TEST_F(Preferences, AMissingDomainHasNoKeyListAndNoValues) {
  EXPECT_EQ(keyList(), nullptr);
  CFDictionaryRef all = CFPreferencesCopyMultiple(nullptr, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(CFDictionaryGetCount(all), 0);
  CFRelease(all);
}

TEST_F(Preferences, AnEmptyDomainFileHasAnEmptyKeyList) {
  id empty = host::send(cls("NSDictionary"), "dictionary");
  ASSERT_TRUE(host::cf::writePlistFile(storeFile(), empty));
  CFArrayRef keys = keyList();
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(CFArrayGetCount(keys), 0);
  CFRelease(keys);
}

TEST_F(Preferences, WritesGoStraightToABinaryFileInTheDevicePreferencesFolder) {
  CFNumberRef twelve = number(12);
  set("iconTapSound", twelve);
  set("enabled", kCFBooleanTrue);
  CFRelease(twelve);
  EXPECT_EQ(storeFile(), (root() / "var/mobile/Library/Preferences/xyz.dorvu..ravelo.plist").string());
  EXPECT_EQ(readFile(storeFile()).compare(0, 8, "bplist00"), 0);
  CFPropertyListRef stored = host::cf::readPlistFile(storeFile());
  EXPECT_EQ(host::cf::describe(stored), "{iconTapSound = 12; enabled = true}");
  CFRelease(stored);
  EXPECT_TRUE(CFPreferencesSynchronize(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
}

TEST_F(Preferences, CopyMultipleFetchesTheNamedKeysThatExist) {
  CFNumberRef three = number(3), four = number(4);
  set("lockSound", three);
  set("unlockSound", four);
  set("enabled", kCFBooleanTrue);
  const void* wanted[] = {CFSTR("lockSound"), CFSTR("enabled"), CFSTR("absent")};
  CFArrayRef keys = CFArrayCreate(nullptr, wanted, 3, &kCFTypeArrayCallBacks);
  CFDictionaryRef some = CFPreferencesCopyMultiple(keys, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  EXPECT_EQ(CFDictionaryGetCount(some), 2);
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(some, CFSTR("lockSound")), three));
  EXPECT_FALSE(CFDictionaryContainsKey(some, CFSTR("unlockSound")));
  CFDictionaryRef all = CFPreferencesCopyMultiple(nullptr, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  EXPECT_EQ(CFDictionaryGetCount(all), 3);
  CFArrayRef list = keyList();
  EXPECT_EQ(CFArrayGetCount(list), 3);
  for (CFTypeRef r : {static_cast<CFTypeRef>(keys), static_cast<CFTypeRef>(some), static_cast<CFTypeRef>(all),
                      static_cast<CFTypeRef>(list), static_cast<CFTypeRef>(three), static_cast<CFTypeRef>(four)})
    CFRelease(r);
}

TEST_F(Preferences, SettingNullRemovesTheKeyAndEveryChangeIsTraced) {
  CFNumberRef seven = number(7);
  set("lockSound", seven);
  set("lockSound", nullptr);
  set("neverThere", nullptr);
  CFRelease(seven);
  EXPECT_EQ(integer("lockSound"), -1);
  CFArrayRef keys = keyList();
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(CFArrayGetCount(keys), 0);
  CFRelease(keys);
  EXPECT_EQ(traces_, (std::vector<std::string>{"prefs set xyz.dorvu..ravelo lockSound = 7",
                                               "prefs remove xyz.dorvu..ravelo lockSound"}));
}

TEST_F(Preferences, SetMultipleSetsAndRemovesInOneWrite) {
  CFNumberRef one = number(1), two = number(2);
  set("gone", one);
  const void* k[] = {CFSTR("a"), CFSTR("b")};
  const void* v[] = {one, two};
  CFDictionaryRef toSet = CFDictionaryCreate(nullptr, k, v, 2, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  const void* r[] = {CFSTR("gone")};
  CFArrayRef toRemove = CFArrayCreate(nullptr, r, 1, &kCFTypeArrayCallBacks);
  CFPreferencesSetMultiple(toSet, toRemove, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  EXPECT_EQ(integer("a"), 1);
  EXPECT_EQ(integer("b"), 2);
  EXPECT_EQ(integer("gone"), -1);
  for (CFTypeRef o : {static_cast<CFTypeRef>(one), static_cast<CFTypeRef>(two), static_cast<CFTypeRef>(toSet),
                      static_cast<CFTypeRef>(toRemove)})
    CFRelease(o);
}

TEST_F(Preferences, ACorruptStoreReadsAsEmptyAndIsReplacedByTheNextWrite) {
  writeFile(storeFile(), "bplist00 definitely not a property list");
  EXPECT_EQ(keyList(), nullptr);
  CFDictionaryRef all = CFPreferencesCopyMultiple(nullptr, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  EXPECT_EQ(CFDictionaryGetCount(all), 0);
  CFRelease(all);
  EXPECT_EQ(integer("lockSound"), -1);
  CFNumberRef five = number(5);
  set("lockSound", five);
  CFRelease(five);
  EXPECT_EQ(integer("lockSound"), 5);
}

TEST_F(Preferences, AStoreWhoseRootIsNotADictionaryReadsAsMissing) {
  writeFile(storeFile(), "<plist version=\"1.0\"><array><string>x</string></array></plist>");
  EXPECT_EQ(keyList(), nullptr);
}

TEST_F(Preferences, AnotherProcesssWriteIsSeenAtOnce) {
  CFNumberRef one = number(1);
  set("iconTapSound", one);
  CFRelease(one);
  EXPECT_EQ(integer("iconTapSound"), 1);
  pid_t writer = fork();
  if (writer == 0) {
    int v = 13;
    CFNumberRef thirteen = CFNumberCreate(nullptr, kCFNumberIntType, &v);
    CFPreferencesSetValue(CFSTR("iconTapSound"), thirteen, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    _exit(0);
  }
  int status = 0;
  waitpid(writer, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(integer("iconTapSound"), 13);
}

TEST_F(Preferences, ConcurrentWritersLoseNothingAndReadersNeverSeeHalfAFile) {
  const int kWriters = 3, kKeys = 40;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    if (pid == 0) {
      for (int k = 0; k < kKeys; ++k) {
        std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
        CFStringRef name = host::cf::makeString(key);
        CFNumberRef value = CFNumberCreate(nullptr, kCFNumberIntType, &k);
        CFPreferencesSetValue(name, value, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
        CFRelease(name);
        CFRelease(value);
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  // While they write, every read sees either no file yet or a whole dictionary that only grows.
  long lastCount = 0;
  bool sawMissingAfterFile = false;
  for (int i = 0; i < 200; ++i) {
    CFArrayRef keys = keyList();
    if (keys == nullptr) {
      sawMissingAfterFile |= lastCount > 0;
      continue;
    }
    EXPECT_GE(CFArrayGetCount(keys), lastCount);
    lastCount = CFArrayGetCount(keys);
    CFRelease(keys);
  }
  for (pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_FALSE(sawMissingAfterFile);
  CFArrayRef keys = keyList();
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(CFArrayGetCount(keys), kWriters * kKeys);
  CFRelease(keys);
  // Only the store and its lock file remain: no temporary files left behind.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(storeFile()).parent_path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2);
}

TEST_F(Preferences, AppValuesUseTheCurrentUserDomain) {
  CFNumberRef nine = number(9);
  CFPreferencesSetAppValue(CFSTR("passcodeSound"), nine, kDomain);
  CFPropertyListRef v = CFPreferencesCopyAppValue(CFSTR("passcodeSound"), kDomain);
  EXPECT_TRUE(v && CFEqual(v, nine));
  Boolean valid = false;
  EXPECT_EQ(CFPreferencesGetAppIntegerValue(CFSTR("passcodeSound"), kDomain, &valid), 9);
  EXPECT_TRUE(valid);
  EXPECT_TRUE(CFPreferencesGetAppBooleanValue(CFSTR("passcodeSound"), kDomain, &valid));
  EXPECT_FALSE(CFPreferencesGetAppBooleanValue(CFSTR("absent"), kDomain, &valid));
  EXPECT_FALSE(valid);
  EXPECT_TRUE(CFPreferencesAppSynchronize(kDomain));
  if (v) CFRelease(v);
  CFRelease(nine);
}

TEST_F(Preferences, ValuesThatAreNotPropertyListsAreNotStored) {
  host::AutoreleasePool pool;
  id url = host::send(cls("NSURL"), "URLWithString:", ns("https://example.com"));
  set("url", url);
  EXPECT_EQ(keyList(), nullptr);
  EXPECT_TRUE(traces_.empty());
}

TEST_F(Preferences, DomainNamesCannotLeaveThePreferencesFolder) {
  CFNumberRef one = number(1);
  CFPreferencesSetValue(CFSTR("k"), one, CFSTR("../../escape"), kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  CFRelease(one);
  EXPECT_FALSE(std::filesystem::exists(root() / "var/mobile/escape.plist"));
  EXPECT_EQ(CFPreferencesCopyKeyList(CFSTR("../../escape"), kCFPreferencesCurrentUser, kCFPreferencesAnyHost), nullptr);
}

// ---- stores no pane would leave ----

TEST_F(Preferences, AStoreIsReadOncePerChangeHoweverManyReadsFollow) {
  // 100,000 keys of no one's beside ours: loading them is linear, and opening the pane (a read per
  // cell) parses the store once, until it changes.
  CFMutableDictionaryRef big = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
  for (int i = 0; i < 100000; ++i) {
    CFStringRef key = host::cf::makeString("key" + std::to_string(i));
    CFNumberRef value = number(i);
    CFDictionarySetValue(big, key, value);
    CFRelease(key);
    CFRelease(value);
  }
  ASSERT_TRUE(host::cf::writePlistFile(storeFile(), big));
  CFRelease(big);
  long before = host::cf::preferencesStoreReads();
  for (int cell = 0; cell < 24; ++cell) EXPECT_EQ(integer("key99999"), 99999);
  EXPECT_EQ(host::cf::preferencesStoreReads(), before + 1);
  CFNumberRef seven = number(7);
  set("lockSound", seven);  // a write: read afresh once
  CFRelease(seven);
  for (int cell = 0; cell < 24; ++cell) EXPECT_EQ(integer("lockSound"), 7);
  EXPECT_EQ(host::cf::preferencesStoreReads(), before + 2);
}

TEST_F(Preferences, AStoreRewrittenInPlaceWithinTheSameInstantIsStillSeen) {
  // Same size, same inode, within the file system's timestamp granularity: the content decides.
  writeFile(storeFile(), "<plist><dict><key>a</key><integer>1</integer></dict></plist>");
  EXPECT_EQ(integer("a"), 1);
  writeFile(storeFile(), "<plist><dict><key>a</key><integer>2</integer></dict></plist>");
  EXPECT_EQ(integer("a"), 2);
}

TEST_F(Preferences, TheNextWriterRemovesTheTemporaryFileOfAWriterKilledMidWrite) {
  CFNumberRef one = number(1);
  set("lockSound", one);
  std::filesystem::path folder = std::filesystem::path(storeFile()).parent_path();
  writeFile(storeFile() + ".tmp.Ab3dE9", "bplist00 half written");
  writeFile(folder / "other.plist.tmp.Ab3dE9", "another store's: not ours to remove");
  set("lockSound", one);
  CFRelease(one);
  EXPECT_FALSE(std::filesystem::exists(storeFile() + ".tmp.Ab3dE9"));
  EXPECT_TRUE(std::filesystem::exists(folder / "other.plist.tmp.Ab3dE9"));
  EXPECT_EQ(integer("lockSound"), 1);
}

TEST_F(Preferences, AStoreThatCannotBeWrittenIsReportedAndKeepsWhatItHeld) {
  std::filesystem::create_directories(storeFile());  // a folder in the store's place
  CFNumberRef seven = number(7);
  set("lockSound", seven);
  CFRelease(seven);
  EXPECT_FALSE(CFPreferencesSynchronize(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
  EXPECT_TRUE(CFPreferencesSynchronize(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost));  // reported once
  ASSERT_EQ(traces_.size(), 1u);
  EXPECT_EQ(traces_[0].rfind("prefs cannot write xyz.dorvu..ravelo (", 0), 0u) << traces_[0];
  EXPECT_TRUE(std::filesystem::is_directory(storeFile()));
  EXPECT_EQ(integer("lockSound"), -1);
}

TEST_F(Preferences, AFifoInTheStoresPlaceReadsAsMissing) {
  std::filesystem::create_directories(std::filesystem::path(storeFile()).parent_path());
  ASSERT_EQ(mkfifo(storeFile().c_str(), 0644), 0);
  EXPECT_EQ(keyList(), nullptr);
  EXPECT_EQ(integer("lockSound"), -1);
}

}  // namespace
