// What the Settings app's code starts with posix_spawn (the pane's Respring button starts killall):
// each spawn is traced, and the simulator's step waits for those processes to end, so what they do
// (a respring) belongs to the step that started them. The process itself is neither changed nor
// waited for by the code that spawned it.
#pragma once

namespace sim::device {

// Waits for every process spawned since the last call and traces how each ended.
void reapSpawnedProcesses();

}  // namespace sim::device
