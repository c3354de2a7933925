// The host system on Linux.
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "noxadmin/host.h"

namespace nox::admin {

int ProcessId() { return static_cast<int>(getpid()); }

bool ProcessRunning(int process_id) {
  if (process_id <= 0) return false;
  // EPERM: it exists but belongs to someone else.
  return kill(static_cast<pid_t>(process_id), 0) == 0 || errno == EPERM;
}

bool NoxServiceInstalled() { return false; }

std::optional<std::string> SystemDirectory() { return std::nullopt; }

std::tm LocalCalendarTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

// Linux streams are binary already.
void UseBinaryStandardOutput() {}

}  // namespace nox::admin
