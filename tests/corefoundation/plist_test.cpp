// Property lists: XML and binary round trips, the objects and text formats the device's reader admits
// beyond the property-list types, its nesting limit, and reading dictionaries from files that may be
// missing, corrupt or of the wrong shape — never a crash. How each file reads, byte for byte, is
// checked against Apple's own reader by the differential test (tests/plistdiff).
#include <sys/stat.h>

#include <climits>
#include <vector>

#include "cf_test.h"

using namespace cftest;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

class PropertyLists : public DeviceTest {
 protected:
  // Every property-list type, with negative and huge integers.
  id sample() {
    id dict = host::send(cls("NSMutableDictionary"), "dictionary");
    auto set = [&](const char* key, id value) { host::send<void>(dict, "setObject:forKey:", value, ns(key)); };
    set("bool", toId(kCFBooleanTrue));
    set("off", toId(kCFBooleanFalse));
    set("int", host::send(cls("NSNumber"), "numberWithInt:", 12));
    set("negative", host::send(cls("NSNumber"), "numberWithInt:", -5));
    set("min", host::send(cls("NSNumber"), "numberWithLongLong:", LLONG_MIN));
    set("max", host::send(cls("NSNumber"), "numberWithLongLong:", LLONG_MAX));
    set("huge", host::send(cls("NSNumber"), "numberWithUnsignedLongLong:", ULLONG_MAX));
    set("half", host::send(cls("NSNumber"), "numberWithDouble:", 0.5));
    set("big", host::send(cls("NSNumber"), "numberWithDouble:", 1e30));
    set("third", host::send(cls("NSNumber"), "numberWithDouble:", 1.0 / 3.0));
    set("tiny", host::send(cls("NSNumber"), "numberWithDouble:", -2.5e-300));
    set("text", ns("caf\xC3\xA9 <&>"));
    set("date", host::send(cls("NSDate"), "dateWithTimeIntervalSinceReferenceDate:", 599529600.0));
    set("data", host::send(cls("NSData"), "dataWithBytes:length:", "\x00\x01\xFF", 3UL));
    id inner = host::send(cls("NSMutableArray"), "array");
    host::send<void>(inner, "addObject:", ns("a"));
    host::send<void>(inner, "addObject:", host::send(cls("NSDictionary"), "dictionary"));
    set("array", inner);
    return dict;
  }

  void expectRoundTrip(bool binary) {
    id original = sample();
    std::string file = (root() / "sample.plist").string();
    ASSERT_TRUE(host::cf::writePlistFile(file, original, binary));
    EXPECT_EQ(readFile(file).compare(0, 8, "bplist00") == 0, binary);
    CFPropertyListRef back = host::cf::readPlistFile(file);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(CFEqual(back, original)) << host::cf::describe(back);
    CFNumberRef negative = static_cast<CFNumberRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(back), CFSTR("negative")));
    EXPECT_EQ(host::send<long>(toId(negative), "integerValue"), -5);
    CFNumberRef huge = static_cast<CFNumberRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(back), CFSTR("huge")));
    EXPECT_EQ(host::send<unsigned long long>(toId(huge), "unsignedLongLongValue"), ULLONG_MAX);
    EXPECT_EQ(CFGetTypeID(CFDictionaryGetValue(static_cast<CFDictionaryRef>(back), CFSTR("off"))), CFBooleanGetTypeID());
    CFRelease(back);
  }
};

TEST_F(PropertyLists, XMLRoundTripKeepsEveryType) { expectRoundTrip(false); }
TEST_F(PropertyLists, BinaryRoundTripKeepsEveryType) { expectRoundTrip(true); }

TEST_F(PropertyLists, XMLWritesNegativeAndHugeIntegersAsTheirValues) {
  std::string file = (root() / "ints.plist").string();
  ASSERT_TRUE(host::cf::writePlistFile(file, sample(), false));
  std::string xml = readFile(file);
  EXPECT_NE(xml.find("<integer>-5</integer>"), std::string::npos);
  EXPECT_NE(xml.find("<integer>18446744073709551615</integer>"), std::string::npos);
  EXPECT_NE(xml.find("<integer>-9223372036854775808</integer>"), std::string::npos);
}

TEST_F(PropertyLists, ParsingReportsTheFormatAndMutability) {
  CFDataRef data = CFPropertyListCreateData(nullptr, sample(), kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
  CFPropertyListFormat format = 0;
  CFPropertyListRef mutableList = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListMutableContainers, &format, nullptr);
  EXPECT_EQ(format, kCFPropertyListBinaryFormat_v1_0);
  EXPECT_TRUE(host::isKindOf(toId(mutableList), cls("NSMutableDictionary")));
  CFPropertyListRef frozen = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
  EXPECT_FALSE(host::isKindOf(toId(frozen), cls("NSMutableDictionary")));
  CFRelease(mutableList);
  CFRelease(frozen);
  CFRelease(data);
}

TEST_F(PropertyLists, CorruptDataGivesNullAndAnError) {
  CFDataRef junk = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("bplist00\x01\x02garbage"), 17);
  CFErrorRef error = nullptr;
  EXPECT_EQ(CFPropertyListCreateWithData(nullptr, junk, 0, nullptr, &error), nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(CFErrorGetCode(error), 3840);
  CFRelease(error);
  CFRelease(junk);
}

TEST_F(PropertyLists, ObjectsOutsideThePropertyListTypesCannotBeWritten) {
  id dict = host::send(cls("NSMutableDictionary"), "dictionary");
  host::send<void>(dict, "setObject:forKey:", host::send(cls("NSURL"), "URLWithString:", ns("https://a.b")), ns("url"));
  CFErrorRef error = nullptr;
  EXPECT_EQ(CFPropertyListCreateData(nullptr, dict, kCFPropertyListXMLFormat_v1_0, 0, &error), nullptr);
  EXPECT_NE(error, nullptr);
  if (error) CFRelease(error);
  EXPECT_FALSE(host::cf::writePlistFile((root() / "bad.plist").string(), dict));
  EXPECT_FALSE(std::filesystem::exists(root() / "bad.plist"));
}

// Big-endian 4- and 8-byte integers, for binary property lists made by hand.
std::string ref(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string be64(uint64_t v) { return ref(static_cast<uint32_t>(v >> 32)) + ref(static_cast<uint32_t>(v)); }

class DictionaryFiles : public DeviceTest {
 protected:
  id read(const std::string& name) {
    return host::send(cls("NSDictionary"), "dictionaryWithContentsOfFile:", ns((root() / name).c_str()));
  }
};

TEST_F(DictionaryFiles, ReadsXMLAndBinaryDictionaries) {
  writeFile(root() / "x.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>enabled</key><true/>"
            "<key>lockSound</key><integer>3</integer></dict></plist>");
  id x = read("x.plist");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(host::send<long>(host::send(x, "objectForKey:", ns("lockSound")), "integerValue"), 3);
  ASSERT_TRUE(host::cf::writePlistFile((root() / "b.plist").string(), x, true));
  id b = read("b.plist");
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(CFEqual(b, x));
}

TEST_F(DictionaryFiles, MissingCorruptOrNonDictionaryFilesGiveNil) {
  EXPECT_EQ(read("missing.plist"), nullptr);
  writeFile(root() / "empty.plist", "");
  EXPECT_EQ(read("empty.plist"), nullptr);
  writeFile(root() / "junk.plist", "this is not a property list");
  EXPECT_EQ(read("junk.plist"), nullptr);
  writeFile(root() / "truncated.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><integer>1");
  EXPECT_EQ(read("truncated.plist"), nullptr);
  writeFile(root() / "badbinary.plist", std::string("bplist00\xd1\x01\x02\x51", 12));
  EXPECT_EQ(read("badbinary.plist"), nullptr);
  writeFile(root() / "array.plist", "<plist version=\"1.0\"><array><integer>1</integer></array></plist>");
  EXPECT_EQ(read("array.plist"), nullptr);
  std::filesystem::create_directories(root() / "folder.plist");
  EXPECT_EQ(read("folder.plist"), nullptr);
  EXPECT_EQ(host::send(cls("NSDictionary"), "dictionaryWithContentsOfFile:", nullptr), nullptr);
}

TEST_F(DictionaryFiles, ABinaryKeyHoldingANulCharacterDoesNotCrash) {
  // {"a\0b" = 1} with a UTF-16 key: objects at 8, 11 and 18, one-byte offsets and references.
  std::string bytes("bplist00\xD1\x01\x02\x63\x00\x61\x00\x00\x00\x62\x10\x01\x08\x0B\x12", 23);
  bytes += std::string(6, '\0') + "\x01\x01" + std::string(7, '\0') + "\x03" + std::string(15, '\0') + "\x14";
  writeFile(root() / "nul.plist", bytes);
  id dict = read("nul.plist");
  if (dict != nullptr) {
    EXPECT_EQ(CFGetTypeID(dict), CFDictionaryGetTypeID());
  }
}

TEST_F(DictionaryFiles, TheMutableClassGivesAMutableDictionary) {
  writeFile(root() / "m.plist", "<plist version=\"1.0\"><dict><key>a</key><string>b</string></dict></plist>");
  id m = host::send(cls("NSMutableDictionary"), "dictionaryWithContentsOfFile:", ns((root() / "m.plist").c_str()));
  ASSERT_NE(m, nullptr);
  host::send<void>(m, "setObject:forKey:", ns("d"), ns("c"));
  EXPECT_EQ(host::send<unsigned long>(m, "count"), 2u);
}

TEST_F(DictionaryFiles, WriteToFileWritesXML) {
  id dict = host::send(cls("NSDictionary"), "dictionaryWithObject:forKey:", ns("v"), ns("k"));
  std::string path = (root() / "out" / "w.plist").string();
  EXPECT_EQ(host::send<BOOL>(dict, "writeToFile:atomically:", ns(path.c_str()), static_cast<BOOL>(YES)), YES);
  EXPECT_NE(readFile(path).find("<key>k</key>"), std::string::npos);
}

TEST_F(DictionaryFiles, ArraysReadFromFilesToo) {
  writeFile(root() / "a.plist", "<plist version=\"1.0\"><array><string>x</string><integer>-2</integer></array></plist>");
  id array = host::send(cls("NSArray"), "arrayWithContentsOfFile:", ns((root() / "a.plist").c_str()));
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(host::send<long>(host::send(array, "objectAtIndex:", 1UL), "integerValue"), -2);
  writeFile(root() / "d.plist", "<plist version=\"1.0\"><dict/></plist>");
  EXPECT_EQ(host::send(cls("NSArray"), "arrayWithContentsOfFile:", ns((root() / "d.plist").c_str())), nullptr);
}

// ---- nesting: a value 128 levels below the root is read, 129 is not ----

// {enabled = true; deep = ((...(true)...))}: the `true` is `levels` below the root, as a binary plist
// with 4-byte references and offsets.
std::string binaryNested(int levels) {
  std::vector<std::string> objects = {std::string("\xD2") + ref(1) + ref(2) + ref(3) + ref(4), "\x57" "enabled", "\x54" "deep",
                                      "\x09"};
  for (int i = 1; i < levels; ++i) objects.push_back("\xA1" + ref(i + 1 < levels ? 5 + i : 3));
  std::string bytes = "bplist00", table;
  for (const std::string& object : objects) {
    table += ref(static_cast<uint32_t>(bytes.size()));
    bytes += object;
  }
  uint64_t tableOffset = bytes.size();
  bytes += table + std::string(6, '\0') + "\x04\x04" + be64(objects.size()) + be64(0) + be64(tableOffset);
  return bytes;
}

// The same as XML, and as OpenStep text.
std::string xmlNested(int levels) {
  std::string xml = "<plist version=\"1.0\"><dict><key>enabled</key><true/><key>deep</key>";
  for (int i = 1; i < levels; ++i) xml += "<array>";
  xml += "<true/>";
  for (int i = 1; i < levels; ++i) xml += "</array>";
  return xml + "</dict></plist>";
}
std::string openStepNested(int levels) {
  return "{enabled = YES; deep = " + std::string(levels - 1, '(') + "YES" + std::string(levels - 1, ')') + ";}";
}

TEST_F(DictionaryFiles, NestingPastTheDevicesLimitMakesTheWholeFileUnreadable) {
  // One limit for binary and XML, the device's; its OpenStep reader allows 512 levels.
  writeFile(root() / "b128.plist", binaryNested(128));
  writeFile(root() / "b129.plist", binaryNested(129));
  writeFile(root() / "x128.plist", xmlNested(128));
  writeFile(root() / "x129.plist", xmlNested(129));
  writeFile(root() / "o512.plist", openStepNested(512));
  writeFile(root() / "o513.plist", openStepNested(513));
  for (const char* readable : {"b128.plist", "x128.plist", "o512.plist"}) {
    id dict = read(readable);
    ASSERT_NE(dict, nullptr) << readable;
    EXPECT_NE(host::send(dict, "objectForKey:", ns("enabled")), nullptr) << readable;
  }
  // Past it, the keys beside the deep one are lost with it, as on the device.
  EXPECT_EQ(read("b129.plist"), nullptr);
  EXPECT_EQ(read("x129.plist"), nullptr);
  EXPECT_EQ(read("o513.plist"), nullptr);
}

TEST_F(DictionaryFiles, HugelyNestedFilesAreRejectedWithoutExhaustingTheStack) {
  writeFile(root() / "b.plist", binaryNested(200000));
  writeFile(root() / "x.plist", xmlNested(200000));
  writeFile(root() / "o.plist", openStepNested(200000));
  EXPECT_EQ(read("b.plist"), nullptr);
  EXPECT_EQ(read("x.plist"), nullptr);
  EXPECT_EQ(read("o.plist"), nullptr);
}

TEST_F(DictionaryFiles, ACycleOrAFanOutOfSharedReferencesIsNoTrap) {
  // An array that holds itself, and 100 arrays each holding the next one twice (2^100 paths).
  std::string cycle = "bplist00\xA1" + std::string(1, '\0') + "\x08" + std::string(6, '\0') + "\x01\x01" + be64(1) +
                      be64(0) + be64(10);
  CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(cycle.data()), static_cast<CFIndex>(cycle.size()));
  EXPECT_EQ(CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr), nullptr);
  CFRelease(data);
  std::string bytes = "bplist00", table;
  for (int i = 0; i < 100; ++i) {
    table += ref(static_cast<uint32_t>(bytes.size()));
    bytes += i + 1 < 100 ? "\xA2" + ref(i + 1) + ref(i + 1) : std::string("\xA0");
  }
  uint64_t tableOffset = bytes.size();
  bytes += table + std::string(6, '\0') + "\x04\x04" + be64(100) + be64(0) + be64(tableOffset);
  data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()));
  for (CFOptionFlags mutability : {kCFPropertyListImmutable, kCFPropertyListMutableContainers}) {
    CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, data, mutability, nullptr, nullptr);
    // Immutable: read once and shared, as the device does. Mutable: every path is its own copy, so the
    // reader gives up once it has made far more objects than the file holds.
    EXPECT_EQ(list != nullptr, mutability == kCFPropertyListImmutable);
    if (list) CFRelease(list);
  }
  CFRelease(data);
}

// ---- what the device's reader admits beyond XML and binary property-list types ----

CFPropertyListRef parse(const std::string& bytes, CFPropertyListFormat* format = nullptr) {
  CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()));
  CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, format, nullptr);
  CFRelease(data);
  return list;
}

TEST_F(PropertyLists, NullSetsAndKeyedArchiverUIDsReadAsTheirOwnTypesAndOnlyUIDsAreWritten) {
  // [null, {(7)}, UID 5] in binary: an array of three, a one-member set, a UID.
  std::string bytes("bplist00\xA3\x01\x02\x04\x00\xC1\x03\x10\x07\x80\x05", 19);
  bytes += "\x08\x0C\x0D\x0F\x11" + std::string(6, '\0') + "\x01\x01" + be64(5) + be64(0) + be64(19);
  CFArrayRef list = static_cast<CFArrayRef>(parse(bytes));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(CFArrayGetValueAtIndex(list, 0), kCFNull);
  auto set = static_cast<CFSetRef>(CFArrayGetValueAtIndex(list, 1));
  ASSERT_EQ(CFGetTypeID(set), CFSetGetTypeID());
  int sevenValue = 7;
  CFNumberRef seven = CFNumberCreate(nullptr, kCFNumberIntType, &sevenValue);
  EXPECT_TRUE(CFSetContainsValue(set, seven));
  CFTypeRef uid = CFArrayGetValueAtIndex(list, 2);
  EXPECT_NE(CFGetTypeID(uid), CFNumberGetTypeID());  // never a number a setting could be read from
  EXPECT_EQ(host::cf::describe(uid), "<CFKeyedArchiverUID>{value = 5}");
  EXPECT_EQ(CFPropertyListCreateDeepCopy(nullptr, uid, 0), nullptr);  // the device copies no UID either
  // A UID is written in either format and reads back a UID; null and sets have no written form.
  for (CFPropertyListFormat format : {kCFPropertyListBinaryFormat_v1_0, kCFPropertyListXMLFormat_v1_0}) {
    CFDataRef written = CFPropertyListCreateData(nullptr, uid, format, 0, nullptr);
    ASSERT_NE(written, nullptr);
    CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, written, 0, nullptr, nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(host::cf::describe(back), "<CFKeyedArchiverUID>{value = 5}");
    EXPECT_FALSE(CFEqual(back, uid));  // a UID equals only itself
    if (back) CFRelease(back);
    CFRelease(written);
    EXPECT_EQ(CFPropertyListCreateData(nullptr, list, format, 0, nullptr), nullptr);
  }
  CFRelease(seven);
  CFRelease(list);
}

TEST_F(PropertyLists, BinaryUIDKeysAreOneEntryPerObjectAndAnEmptyUTF16StringFailsTheList) {
  // {UID 5 (object 1): 1, UID 5 (object 2): 2, UID 5 (object 1 again): 3}: two entries, the first wins.
  std::string bytes("bplist00\xD3\x01\x02\x01\x03\x04\x05\x80\x05\x80\x05\x10\x01\x10\x02\x10\x03", 25);
  bytes += std::string("\x08\x0F\x11\x13\x15\x17") + std::string(6, '\0') + "\x01\x01" + be64(6) + be64(0) + be64(25);
  auto dict = static_cast<CFDictionaryRef>(parse(bytes));
  ASSERT_NE(dict, nullptr);
  ASSERT_EQ(CFDictionaryGetCount(dict), 2);
  const void* values[2];
  CFDictionaryGetKeysAndValues(dict, nullptr, values);
  EXPECT_EQ(host::cf::describe(values[0]) + host::cf::describe(values[1]), host::cf::describe(values[0]) == "1" ? "12" : "21");
  CFRelease(dict);
  // {"a": ""} with the empty string marked UTF-16, its count in the marker or as an integer after it.
  for (std::string empty : {std::string("\x60"), std::string("\x6F\x10\x00", 3)}) {
    std::string list = "bplist00\xD1\x01\x02\x51\x61" + empty;
    list += std::string("\x08\x0B\x0D") + std::string(6, '\0') + "\x01\x01" + be64(3) + be64(0) + be64(list.size());
    EXPECT_EQ(parse(list), nullptr) << empty.size();
  }
}

TEST_F(PropertyLists, TextThatIsNotXMLIsReadAsOpenStepAndUTF16XMLAsXML) {
  CFPropertyListFormat format = 0;
  CFPropertyListRef list = parse("{ lockSound = 5; names = (a, \"b c\"); raw = <0a1b>; }", &format);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(format, kCFPropertyListOpenStepFormat);
  EXPECT_EQ(host::cf::describe(list), "{lockSound = \"5\"; names = (\"a\", \"b c\"); raw = <0a1b>}");
  CFRelease(list);
  list = parse(" \n\t");  // whitespace alone: an empty dictionary
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(list)), 0);
  CFRelease(list);
  std::string utf16 = "\xFF\xFE";  // <plist><string>café</string></plist> in UTF-16, little-endian, marked
  for (char c : std::string("<plist><string>caf")) utf16 += std::string{c, '\0'};
  utf16 += std::string("\xE9\0", 2) + std::string("<\0/\0s\0t\0r\0i\0n\0g\0>\0<\0/\0p\0l\0i\0s\0t\0>\0", 34);
  list = parse(utf16, &format);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(format, kCFPropertyListXMLFormat_v1_0);
  EXPECT_EQ(host::cf::toStdString(list), "caf\xC3\xA9");
  CFRelease(list);
}

TEST_F(DictionaryFiles, AFifoOrAFolderInAFilesPlaceIsRefusedAtOnce) {
  ASSERT_EQ(mkfifo((root() / "fifo.plist").c_str(), 0644), 0);
  EXPECT_EQ(read("fifo.plist"), nullptr);  // returns: nothing waits for a writer
  EXPECT_EQ(host::send(cls("NSData"), "dataWithContentsOfFile:", ns((root() / "fifo.plist").c_str())), nullptr);
  std::filesystem::create_directories(root() / "folder.plist");
  EXPECT_EQ(read("folder.plist"), nullptr);
}

}  // namespace
