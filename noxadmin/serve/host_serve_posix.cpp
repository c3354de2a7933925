// "noxadmin serve" on Linux (glibc).
#include <malloc.h>
#include <sys/socket.h>

#include "noxadmin/serve/host_serve.h"

namespace nox::admin {

// Without SO_REUSEPORT, which the library sets by default on Linux, letting
// a second server share a busy port. SO_REUSEADDR rebinds right after a
// restart, while old connections linger in TIME_WAIT; a listening socket
// still keeps the port to itself.
void BindAlone(socket_t socket) {
  const int yes = 1;
  setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// glibc would give each large block back to the system when freed and take
// it anew, page fault by page fault, for the next request; kept in the heap,
// the next request finds it ready.
void KeepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // glibc's largest
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

}  // namespace nox::admin
