// "noxadmin serve" in noxadmin.exe. The library's header brings the Windows
// socket headers.
#include "noxadmin/serve/host_serve.h"

namespace nox::admin {

// Exclusively: no other program may bind the port while the server has it.
void BindAlone(socket_t socket) {
  const BOOL yes = TRUE;
  setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
             sizeof yes);
}

// The Windows heap keeps freed blocks for reuse by itself.
void KeepFreedMemory() {}

}  // namespace nox::admin
