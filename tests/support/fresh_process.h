// Running a test body in a fresh child process.
//
// The tweak and the pane keep process-wide state and bind once per process (as on the device), so a
// test that loads them runs its body in a forked child: GoogleTest assertions work as usual inside it
// and a failure (or a crash) there fails the test in the parent.
#pragma once

#include <functional>

namespace testing_support {

// Forks, runs `body` in the child and waits for it. Returns true when the child's assertions all passed
// and it exited normally; on a crash or failure, records a test failure here as well.
bool inFreshProcess(const std::function<void()>& body);

}  // namespace testing_support
