// What "noxadmin serve" does differently on each host; the build links
// host_serve_posix.cpp or host_serve_win32.cpp.
#pragma once

#include <httplib.h>

namespace nox::admin {

// Only this server may listen on its port: no other socket shares it.
void BindAlone(socket_t socket);

// The server answers one request after another, each reading and writing a
// table of up to tens of megabytes: the freed memory is best kept for the
// next request.
void KeepFreedMemory();

}  // namespace nox::admin
