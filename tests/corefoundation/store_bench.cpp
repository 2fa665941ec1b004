// How loading a preferences store grows with its size (a benchmark, not a test): parsing a store of
// n keys, reading it through the preferences API as the tweak does, and one write into it. Each
// should grow linearly with n (the complexity line of each family says so).
//
//   build/tests/corefoundation/store_bench
#include <CoreFoundation/CoreFoundation.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/corefoundation.h"
#include "host/device.h"
#include "host/objc.h"

namespace {

const CFStringRef kDomain = CFSTR("xyz.dorvu..ravelo");

// A dictionary of n keys ("key0"... with integer values) as property-list bytes (+1).
CFDataRef storeBytes(long n, CFPropertyListFormat format) {
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks);
  for (long i = 0; i < n; ++i) {
    CFStringRef key = host::cf::makeString("key" + std::to_string(i));
    CFNumberRef value = CFNumberCreate(nullptr, kCFNumberLongType, &i);
    CFDictionarySetValue(dict, key, value);
    CFRelease(key);
    CFRelease(value);
  }
  CFDataRef data = CFPropertyListCreateData(nullptr, dict, format, 0, nullptr);
  CFRelease(dict);
  return data;
}

// A device root holding a store of n keys, removed at the end.
struct StoreOnDisk {
  std::filesystem::path root = std::filesystem::temp_directory_path() / ("store_bench." + std::to_string(getpid()));
  std::string file;
  explicit StoreOnDisk(long n) {
    host::device::setRoot(root.string());
    file = host::cf::preferencesFile("xyz.dorvu..ravelo");
    CFDataRef bytes = storeBytes(n, kCFPropertyListBinaryFormat_v1_0);
    host::cf::writePlistFile(file, CFPropertyListCreateWithData(nullptr, bytes, 0, nullptr, nullptr));
    CFRelease(bytes);
  }
  ~StoreOnDisk() { std::filesystem::remove_all(root); }
};

void parse(benchmark::State& state, CFPropertyListFormat format) {
  CFDataRef bytes = storeBytes(state.range(0), format);
  for (auto _ : state) {
    host::AutoreleasePool pool;
    CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, bytes, kCFPropertyListImmutable, nullptr, nullptr);
    if (list == nullptr || CFDictionaryGetCount(static_cast<CFDictionaryRef>(list)) != state.range(0)) std::abort();
    CFRelease(list);
  }
  state.SetComplexityN(state.range(0));
  state.counters["bytes"] = static_cast<double>(CFDataGetLength(bytes));
  CFRelease(bytes);
}

void BM_ParseBinaryStore(benchmark::State& state) { parse(state, kCFPropertyListBinaryFormat_v1_0); }
void BM_ParseXMLStore(benchmark::State& state) { parse(state, kCFPropertyListXMLFormat_v1_0); }

// The tweak's load: the key list, then every value in one call. The store changes (is rewritten) before
// each load, so every load reads and parses it.
void BM_LoadSettingsFromStore(benchmark::State& state) {
  StoreOnDisk store(state.range(0));
  std::string bytes;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::last_write_time(store.file, std::filesystem::file_time_type::clock::now());
    state.ResumeTiming();
    host::AutoreleasePool pool;
    CFArrayRef keys = CFPreferencesCopyKeyList(kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    CFDictionaryRef all = CFPreferencesCopyMultiple(keys, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    if (CFDictionaryGetCount(all) != state.range(0)) std::abort();
    CFRelease(all);
    CFRelease(keys);
  }
  state.SetComplexityN(state.range(0));
}

// One `set` into the store: read, change one key, write it all back.
void BM_SetOneKeyInStore(benchmark::State& state) {
  StoreOnDisk store(state.range(0));
  long value = 0;
  for (auto _ : state) {
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberLongType, &++value);
    CFPreferencesSetValue(CFSTR("lockSound"), number, kDomain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    CFRelease(number);
  }
  state.SetComplexityN(state.range(0));
}

#define STORE_SIZES Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN)
BENCHMARK(BM_ParseBinaryStore)->STORE_SIZES;
BENCHMARK(BM_ParseXMLStore)->STORE_SIZES;
BENCHMARK(BM_LoadSettingsFromStore)->STORE_SIZES;
BENCHMARK(BM_SetOneKeyInStore)->STORE_SIZES;

}  // namespace

BENCHMARK_MAIN();
