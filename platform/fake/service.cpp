// The fake's caller and the service it can hand requests to.
#include "platform/fake/fake_state.h"
#include "platform/platform.h"

namespace platform {

using fake::TheState;

bool AskService(std::string_view request, uint32_t connect_timeout_ms, std::string* answer) {
  fake::State& state = TheState();
  state.service_connect_timeouts.push_back(connect_timeout_ms);
  if (!state.service) return false;
  // The service runs as SYSTEM, whoever asks; the handler may reset nothing
  // of the caller's, so the caller is put back even when it throws.
  struct CallerBack {
    fake::Caller saved = TheState().caller;
    ~CallerBack() { TheState().caller = saved; }
  } back;
  state.caller = fake::Caller::kSystem;
  *answer = state.service(request);
  return true;
}

bool LogOffSession(uint32_t session_id) {
  TheState().session_log_offs.push_back(session_id);
  return true;
}

namespace fake {

bool RefusedToStandardAccount(const std::string& what) {
  if (TheState().caller != Caller::kStandardAccount) return false;
  TheState().refused_accesses.push_back(what);
  return true;
}

void SetCaller(Caller caller) { TheState().caller = caller; }
Caller CurrentCaller() { return TheState().caller; }
const std::vector<std::string>& RefusedAccesses() { return TheState().refused_accesses; }

void SetService(std::function<std::string(std::string_view request)> handler) {
  TheState().service = std::move(handler);
}
const std::vector<uint32_t>& ServiceConnectTimeouts() {
  return TheState().service_connect_timeouts;
}
const std::vector<uint32_t>& SessionLogOffs() { return TheState().session_log_offs; }

}  // namespace fake

}  // namespace platform
