// The exact process-start call behind the Respring button, seen by a spy that this test program puts
// in front of the C library's posix_spawn (the program exports it, so the loaded bundle binds to it).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <spawn.h>

#include <filesystem>
#include <string>
#include <vector>

#include "prefs/settings_device.h"
#include "support/fresh_process.h"

using prefs_testing::Layout;
using prefs_testing::SettingsDevice;
using testing_support::inFreshProcess;

namespace {

struct SpawnCall {
  std::string path;
  std::vector<std::string> arguments;
  bool fileActions = false;
  bool attributes = false;
  bool environment = false;
};
std::vector<SpawnCall> calls;

}  // namespace

// Records the call, then starts the process as the C library would.
extern "C" __attribute__((visibility("default"))) int posix_spawn(pid_t* pid, const char* path,
                                                                  const posix_spawn_file_actions_t* fileActions,
                                                                  const posix_spawnattr_t* attributes,
                                                                  char* const argv[], char* const envp[]) {
  SpawnCall call;
  call.path = path;
  for (char* const* a = argv; a != nullptr && *a != nullptr; ++a) call.arguments.emplace_back(*a);
  call.fileActions = fileActions != nullptr;
  call.attributes = attributes != nullptr;
  call.environment = envp != nullptr;
  calls.push_back(call);
  using Spawn = int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*, const posix_spawnattr_t*,
                        char* const[], char* const[]);
  static auto real = reinterpret_cast<Spawn>(dlsym(RTLD_NEXT, "posix_spawn"));
  return real(pid, path, fileActions, attributes, argv, envp);
}

namespace {

using Arguments = std::vector<std::string>;

TEST(RespringCall, StartsTheResolvedToolWithNoActionsNoAttributesAndANullEnvironment) {
  inFreshProcess([] {
    SettingsDevice device;
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    ASSERT_TRUE(pane->pressRightBarButton(&error)) << error;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].path, std::filesystem::canonical(device.jbroot()).string() + "/usr/bin/killall");
    EXPECT_EQ(calls[0].arguments, (Arguments{"killall", "-9", "backboardd"}));
    EXPECT_FALSE(calls[0].fileActions);
    EXPECT_FALSE(calls[0].attributes);
    EXPECT_FALSE(calls[0].environment);
    device.waitForKillallRuns(1);
  });
}

TEST(RespringCall, WithoutTheRootPathLibraryTheToolIsTheOneBelowVarJb) {
  inFreshProcess([] {
    Layout layout;
    layout.libroot = false;
    SettingsDevice device(layout);
    auto pane = device.open();
    ASSERT_NE(pane, nullptr);
    std::string error;
    ASSERT_TRUE(pane->pressRightBarButton(&error)) << error;
    ASSERT_TRUE(pane->pressRightBarButton(&error)) << error;
    ASSERT_EQ(calls.size(), 2u);
    for (const SpawnCall& call : calls) {
      EXPECT_EQ(call.path, "/var/jb/usr/bin/killall");
      EXPECT_EQ(call.arguments, (Arguments{"killall", "-9", "backboardd"}));
    }
  });
}

}  // namespace
