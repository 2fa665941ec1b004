// Load commands and initialisers of the cross-compiled deliverables: what the device's loader reads
// before any of our code runs.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device_build.h"
#include "fixups.h"
#include "slice_checks.h"
#include "unwind.h"

using device::Deliverable;
using macho::Image;

namespace {

class DeviceLoadCommands : public testing::TestWithParam<Deliverable> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_DEVICE_BUILD();
    slices_ = device::slicesOf(GetParam());
    ASSERT_FALSE(slices_.empty());
  }
  std::vector<Image> slices_;
};

bool isArm64e(const Image& image) { return image.cpuSubtype == macho::kCpuSubtypeArm64e; }

// arm64 (subtype ALL) always; arm64e only with the versioned pointer-authentication ABI, the one
// subtype dyld loads into an arm64e process.
TEST_P(DeviceLoadCommands, HasAnArm64SliceAndAtMostAVersionedArm64eOne) {
  int arm64 = 0, arm64e = 0;
  for (const Image& image : slices_) {
    EXPECT_EQ(image.cpuType, macho::kCpuTypeArm64);
    if (isArm64e(image)) {
      EXPECT_EQ(image.fullCpuSubtype, macho::kCpuSubtypePtrauthAbi | macho::kCpuSubtypeArm64e) << std::hex
                                                                                               << image.fullCpuSubtype;
      ++arm64e;
    } else {
      EXPECT_EQ(image.fullCpuSubtype, macho::kCpuSubtypeArm64All) << std::hex << image.fullCpuSubtype;
      ++arm64;
    }
  }
  EXPECT_EQ(arm64, 1);
  EXPECT_LE(arm64e, 1);
}

TEST_P(DeviceLoadCommands, IsADynamicLibraryWithItsInstallName) {
  for (const Image& image : slices_) {
    EXPECT_EQ(image.fileType, macho::kFileTypeDylib);
    EXPECT_EQ(image.installName, GetParam().installName);
  }
}

TEST_P(DeviceLoadCommands, SearchesTheJailbreakRootThenTheJbrootLinkForLibraries) {
  const std::vector<std::string> expected{"/var/jb/Library/Frameworks", "/var/jb/usr/lib",
                                          "@loader_path/.jbroot/Library/Frameworks", "@loader_path/.jbroot/usr/lib"};
  for (const Image& image : slices_) EXPECT_EQ(image.rpaths, expected);
}

TEST_P(DeviceLoadCommands, RunsOnIos15AndLater) {
  for (const Image& image : slices_) {
    ASSERT_TRUE(image.build.present) << "no LC_BUILD_VERSION";
    EXPECT_EQ(image.build.platform, macho::kPlatformIos);
    EXPECT_EQ(image.build.minos, 0x000f0000u) << std::hex << image.build.minos;
  }
}

TEST_P(DeviceLoadCommands, IsAdHocSigned) {
  for (const Image& image : slices_) {
    ASSERT_TRUE(image.signature.present) << "no LC_CODE_SIGNATURE";
    EXPECT_EQ(image.signature.superBlobMagic, 0xfade0cc0u) << "not an embedded signature";
    EXPECT_TRUE(image.signature.hasCodeDirectory);
    EXPECT_TRUE(image.signature.codeDirectoryFlags & 0x2) << "code directory not marked ad hoc";
    EXPECT_FALSE(image.signature.identifier.empty());
  }
}

// arm64e has the chained fixups that carry its signed pointers (Apple's linker's format for iOS 15);
// arm64 has them too where ld64 linked it, else (ld64.lld) the classic rebase and bind tables.
TEST_P(DeviceLoadCommands, HasChainedFixupsOnArm64eAndOneFormOfFixupsOnArm64) {
  for (const Image& image : slices_) {
    bool chained = image.hasCommand(macho::kLcDyldChainedFixups);
    EXPECT_NE(chained, image.hasCommand(macho::kLcDyldInfoOnly)) << "exactly one form of fixups";
    if (isArm64e(image)) {
      EXPECT_TRUE(chained);
    }
  }
}

// A valid signature on every slice; on arm64e the signed pointers the process authenticates.
TEST_P(DeviceLoadCommands, PassesWhatTheDeviceChecksOfItsContents) {
  for (const Image& image : slices_) EXPECT_EQ(macho::contentProblems(image), std::vector<std::string>{});
}

// Unwind tables, so that an exception raised beneath our code can unwind through it: a compact entry
// for every function, as Apple's toolchain writes them (a frame, or none for a leaf), and no DWARF.
TEST_P(DeviceLoadCommands, CarriesACompactUnwindEntryForEveryFunction) {
  for (const Image& image : slices_) {
    std::vector<macho::UnwindEntry> entries = macho::compactUnwindEntries(image);
    EXPECT_GT(entries.size(), 10u) << macho::architectureName(image);
    for (const macho::UnwindEntry& e : entries) {
      uint32_t mode = e.encoding & macho::kUnwindModeMask;
      EXPECT_TRUE(mode == 0x04000000 || mode == 0x02000000)
          << macho::architectureName(image) << ": " << std::hex << e.function << " has encoding " << e.encoding;
    }
    EXPECT_EQ(image.section("__TEXT", "__eh_frame"), nullptr) << macho::architectureName(image);
  }
}

TEST_P(DeviceLoadCommands, ExportsNothingIntoTheHostProcess) {
  for (const Image& image : slices_) {
    for (const macho::Symbol& s : image.symbols) {
      EXPECT_FALSE(!s.debug() && !s.undefined() && s.external()) << "exported: " << s.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Deliverables, DeviceLoadCommands, testing::Values(device::kTweak, device::kPane),
                         device::nameOf);

// The initialiser addresses of a slice: the pointers of __mod_init_func (whichever data segment holds
// it), or, where Apple's linker made chained fixups, the 32-bit offsets of __TEXT,__init_offsets
// (from the image's start, which is address 0 in a dylib).
std::vector<uint64_t> initialisers(const Image& image) {
  for (const char* segment : {"__DATA_CONST", "__DATA"}) {
    if (const macho::Section* s = image.section(segment, "__mod_init_func")) return image.pointers(*s);
  }
  std::vector<uint64_t> offsets;
  if (const macho::Section* s = image.section("__TEXT", "__init_offsets")) {
    for (uint64_t at = s->fileOffset; at + 4 <= s->fileOffset + s->size && at + 4 <= image.bytes.size(); at += 4) {
      uint32_t offset = 0;
      std::memcpy(&offset, image.bytes.data() + at, 4);
      offsets.push_back(offset);
    }
  }
  return offsets;
}

bool containsString(const Image& image, const std::string& text) {
  const macho::Section* strings = image.section("__TEXT", "__cstring");
  if (strings == nullptr) return false;
  auto all = image.cStrings(*strings);
  return std::find(all.begin(), all.end(), text) != all.end();
}

bool imports(const Image& image, const std::string& symbol) {
  auto all = device::imports(image);
  return std::any_of(all.begin(), all.end(), [&](const macho::Symbol& s) { return s.name == symbol; });
}

// The hook table is constant data: each row's replacement implementation goes to the hooking library,
// which calls it as the runtime does (key IA, no diversity), and each row's slot for the previous
// implementation is a plain data pointer.
TEST(DeviceArm64e, TheHookTableHoldsEveryReplacementSignedForTheHookingLibrary) {
  SKIP_WITHOUT_DEVICE_BUILD();
  bool found = false;
  for (const Image& image : device::slicesOf(device::kTweak)) {
    if (!isArm64e(image)) continue;
    const macho::Symbol* table = nullptr;
    for (const macho::Symbol& s : image.symbols) {
      if (!s.undefined() && s.name.find("kHooks") != std::string::npos) table = &s;
    }
    ASSERT_NE(table, nullptr) << "no hook table symbol in the arm64e slice";
    const macho::Section* section = image.sectionAt(table->value);
    ASSERT_NE(section, nullptr);
    uint64_t end = section->address + section->size;  // the table runs to the next symbol or the section's end
    for (const macho::Symbol& s : image.symbols) {
      if (!s.undefined() && !s.debug() && s.value > table->value && s.value < end) end = s.value;
    }
    int replacements = 0, previousSlots = 0;
    for (const macho::Fixup& f : macho::fixups(image)) {
      if (f.kind != macho::Fixup::Kind::Rebase || f.address < table->value || f.address >= end) continue;
      const macho::Section* target = image.sectionAt(f.target);
      if (target != nullptr && target->holdsCode()) {
        ++replacements;
        EXPECT_TRUE(f.authenticated && f.key == 0 && !f.addressDiversity && f.diversity == 0)
            << "replacement at 0x" << std::hex << f.address;
      } else if (target != nullptr && target->segment == "__DATA") {
        ++previousSlots;
      }
    }
    EXPECT_GT(replacements, 0);
    EXPECT_EQ(replacements, previousSlots) << "one signed replacement per row";
    found = true;
  }
  if (!found) GTEST_SKIP() << "no arm64e slice was built (package/toolchain/build-ld64, package/README.md)";
}

TEST(DeviceInitialisers, TheTweakRunsTweakInitAndNothingElseAtLoad) {
  SKIP_WITHOUT_DEVICE_BUILD();
  for (const Image& image : device::slicesOf(device::kTweak)) {
    auto pointers = initialisers(image);
    ASSERT_EQ(pointers.size(), 1u) << "the tweak must have exactly one static initialiser";
    const macho::Symbol* function = image.symbolAt(pointers[0]);
    ASSERT_NE(function, nullptr) << "the initialiser points at no function";
    EXPECT_NE(function->name.find("tweakInit"), std::string::npos) << function->name;
  }
}

TEST(DeviceInitialisers, ThePaneRegistersItsControllerClassAtLoad) {
  SKIP_WITHOUT_DEVICE_BUILD();
  for (const Image& image : device::slicesOf(device::kPane)) {
    auto pointers = initialisers(image);
    ASSERT_EQ(pointers.size(), 1u) << "the pane must have exactly one static initialiser";
    const macho::Symbol* function = image.symbolAt(pointers[0]);
    ASSERT_NE(function, nullptr) << "the initialiser points at no function";
    EXPECT_TRUE(imports(image, "_objc_allocateClassPair"));
    EXPECT_TRUE(imports(image, "_objc_registerClassPair"));
    EXPECT_TRUE(containsString(image, "RaveloRootListController"));
    EXPECT_TRUE(containsString(image, "PSListController"));
  }
}

}  // namespace
