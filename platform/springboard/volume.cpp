// The volume buttons' handler: each press moves the media volume one of its sixteen steps.
#include "host/trace.h"
#include "springboard_internal.h"

namespace host::springboard::detail {
namespace {

constexpr int kSteps = 16;

void changeVolume(int by) {
  int& steps = volumeSteps();
  steps += by;
  if (steps < 0) steps = 0;
  if (steps > kSteps) steps = kSteps;
  host::trace("SpringBoard: volume %d/%d", steps, kSteps);
}

void increaseVolume(id, SEL) { changeVolume(+1); }
void decreaseVolume(id, SEL) { changeVolume(-1); }

}  // namespace

int& volumeSteps() {
  static int steps = kSteps / 2;
  return steps;
}

void defineVolumeControl() {
  host::ClassBuilder("SBVolumeControl", "NSObject")
      .method("increaseVolume", &increaseVolume)
      .method("decreaseVolume", &decreaseVolume)
      .registerClass();
}

}  // namespace host::springboard::detail
