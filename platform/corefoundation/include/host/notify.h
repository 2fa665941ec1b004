// Host controls of the Darwin notification centre.
//
// Each process that observes at least one name listens on a Unix datagram socket
// <device root>/var/run/notifyd/<pid>.sock; a post sends the name to every socket in that folder. The
// names a process receives wait in the process until its main run loop delivers them.
#pragma once

#include <cstddef>
#include <string>

namespace host::notify {

// The folder of the observing processes' sockets.
std::string socketFolder();

// This process's socket, or "" while it observes nothing.
std::string ownSocketPath();

// The posts that arrived for names this process observes and that its main run loop has not yet
// delivered (one per post, however many observers it has).
size_t pendingDeliveries();

}  // namespace host::notify
