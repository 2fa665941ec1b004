// Calls the resolver as a deliverable would and prints each answer on its own line.
//   rootpath_probe jbroot PATH|-null      rootfs PATH|-null      prefixes
//   rootpath_probe long N                 (jbrootPath of "/" followed by N 'a's)
//   rootpath_probe threads N PATH         (N threads make the first call at once)
#include "rootpath/rootpath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include <atomic>

static const char* arg(const char* a) { return std::strcmp(a, "-null") == 0 ? nullptr : a; }
static void print(const char* result) { std::printf("%s\n", result ? result : "(null)"); }

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string command = argv[1];
  char buffer[kRootPathBufferSize];
  if (command == "jbroot" && argc == 3) {
    print(jbrootPath(arg(argv[2]), buffer));
  } else if (command == "rootfs" && argc == 3) {
    print(rootfsPath(arg(argv[2]), buffer));
  } else if (command == "prefixes") {
    print(rootPrefix());
    print(jbrootPrefix());
    print(bootUuid());
  } else if (command == "long" && argc == 3) {
    std::string path = "/" + std::string(std::strtoul(argv[2], nullptr, 10), 'a');
    std::memset(buffer, 'X', sizeof buffer);
    char* result = jbrootPath(path.c_str(), buffer);
    std::printf("%zu\n", std::strlen(result));
  } else if (command == "threads" && argc == 4) {
    int n = std::atoi(argv[2]);
    std::atomic<int> ready{0};
    std::vector<std::string> results(static_cast<size_t>(n));
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
      threads.emplace_back([&, i] {
        char local[kRootPathBufferSize];
        ready.fetch_add(1);
        while (ready.load() < n) {
        }
        const char* r = jbrootPath(argv[3], local);
        results[static_cast<size_t>(i)] = r ? r : "(null)";
      });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : results) std::printf("%s\n", r.c_str());
  } else {
    return 2;
  }
  return 0;
}
