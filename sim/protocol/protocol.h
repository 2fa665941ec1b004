// What the simulator and a device process say to each other over their channel (channel.h).
//
// Simulator -> device process:
//   clock <ms>              the scenario clock; the process answers "ok"
//   run <word>\n<word>...   a command (its words, one a line); the process answers with any number of
//                           "trace" messages, then "done" or "fail <message>", once its run loop is
//                           idle again
//   sync                    handle everything that is ready (a notification that arrived...); the
//                           process answers with any "trace" messages, then "idle"
//   quit                    end the process (no answer)
// Device process -> simulator:
//   trace <line>            one line a person would notice (host::trace)
//   ready                   start-up finished (SpringBoard: tweaks loaded and launch sent)
//   ok | done | idle | fail <message>
//
// The device process's end of the channel is descriptor kChannelFd.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim::protocol {

constexpr int kChannelFd = 3;

// The body of a "run" message and back.
std::string encodeWords(const std::vector<std::string>& words);
std::vector<std::string> decodeWords(std::string_view body);

}  // namespace sim::protocol
