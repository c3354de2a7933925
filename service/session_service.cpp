#include "service/session_service.h"

#include <optional>
#include <utility>

#include "common/runtime_error.h"
#include "explorer/frm_login.h"
#include "explorer/records.h"
#include "pelorus/minute_keeper.h"
#include "platform/platform.h"

namespace nox::service {
namespace {

// Ends a request where the login program would log off and end itself.
struct SessionLoggedOff {};

ServiceAnswer Refused(const std::string& why) { return {{}, {}, "refused", why}; }

// The table files only SYSTEM and Administrators may open once the service
// is there: the users' passwords and levels, the settings, the last login's
// name, and the numbered per-user files.
void ProtectTables() {
  const std::string system = SystemDirectoryWithSlash();
  for (const char* name : {kUserTable, "NoxSettings.TBL", "user.cur"}) {
    platform::RestrictToAdministrators(system + name);
  }
  for (int n = 1;; ++n) {
    int missing = 0;
    for (const char* extension : {".KWT", ".tbl", ".pmk"}) {
      const std::string path = system + std::to_string(n) + extension;
      if (platform::RestrictToAdministrators(path) != platform::kSuccess) ++missing;
    }
    if (missing == 3) return;
  }
}

uint32_t ReadMinuteSeconds() {
  platform::ScopedRegKey key;
  if (platform::RegOpenKey(platform::kLocalMachine, kServiceSettingsKey, platform::kKeyRead,
                           key.receive()) != platform::kSuccess) {
    return 0;
  }
  uint32_t type = 0;
  uint32_t seconds = 0;
  uint32_t size = sizeof(seconds);
  if (platform::RegQueryValue(key.get(), "MinuteSeconds", &type, reinterpret_cast<char*>(&seconds),
                              &size) != platform::kSuccess ||
      type != platform::kRegDword || size != sizeof(seconds)) {
    return 0;
  }
  return seconds;
}

// A login form whose messages, log-off and programs go into `answer`.
void RouteIntoAnswer(frmLogin* form, ServiceAnswer* answer) {
  form->outlet.message = [answer](const std::string& text, uint32_t flags) {
    answer->messages.push_back({flags, text});
  };
  form->outlet.log_off = [] { throw SessionLoggedOff{}; };
  form->outlet.start_shell = [answer](const std::vector<frmLogin::ProgramToStart>& programs) {
    for (const auto& program : programs) {
      answer->programs.emplace_back(program.state, program.command_line);
    }
  };
}

}  // namespace

struct SessionService::KeptSession {
  KeptSession(std::string owner, uint32_t minute_seconds, uint32_t session_id)
      : sid(std::move(owner)),
        keeper({[](const std::string&) {},  // pelorus.exe shows the notices
                nullptr, [session_id] { platform::LogOffSession(session_id); }}),
        ticker(minute_seconds) {}
  std::string sid;
  MinuteKeeper keeper;
  MinuteTicker ticker;
};

SessionService::SessionService() = default;
SessionService::~SessionService() = default;

void SessionService::Start() {
  ProtectTables();
  minute_seconds_ = ReadMinuteSeconds();
}

std::string SessionService::Answer(const Caller& caller, std::string_view request) {
  const std::optional<ServiceRequest> parsed = ParseServiceRequest(request);
  if (!parsed) return EncodeServiceAnswer(Refused("not a request of this service"));
  if (caller.sid.empty()) return EncodeServiceAnswer(Refused("the caller is unknown"));
  if (parsed->kind == ServiceRequestKind::kMinutes) {
    return EncodeServiceAnswer(MinutesLeft(caller));
  }
  return EncodeServiceAnswer(LogIn(caller, *parsed));
}

ServiceAnswer SessionService::LogIn(const Caller& caller, const ServiceRequest& request) {
  platform::ScopedUserHive hive(caller.sid);
  if (!hive.opened()) return Refused("the caller's profile is not loaded");
  ServiceAnswer answer;
  frmLogin form;
  RouteIntoAnswer(&form, &answer);
  form.LoadDirectories();
  form.RefreshTables();
  try {
    if (request.kind == ServiceRequestKind::kLoginAuto) {
      form.Text1[0].text = caller.account_name;
      if (form.LogInAutomatically()) {
        answer.result = "accepted";
      } else {
        answer.result = "window";
        answer.detail = form.Text1[0].text;
      }
    } else {
      form.Text1[0].text = request.name.empty() ? ".Default" : request.name;
      form.Text1[1].text = request.password;
      const std::string verdict = form.password_verify(form.Text1[0].text, form.Text1[1].text);
      if (verdict != "Correct_password") {
        answer.result = verdict;
      } else {
        answer.result =
            form.CompleteLogin(frmLogin::LoginVariant::kOkButton) ? "accepted" : "failed";
      }
    }
  } catch (const SessionLoggedOff&) {
    answer.programs.clear();
    answer.result = "logoff";
    LogOffSoon(caller.session_id);
  } catch (const RuntimeError& error) {
    answer.messages.push_back({platform::kMbOk | platform::kMbIconStop,
                               std::to_string(error.number()) + ": " + error.description()});
    answer.result = "failed";
  }
  if (answer.result == "accepted") {
    answer.detail = form.current_user.TrimmedName();
    if (form.remaining_minutes != -1) {
      Keep(caller, std::stoi(form.current_record_number), answer.detail);
    } else {
      kept_.erase(caller.session_id);
    }
  }
  ProtectTables();
  return answer;
}

ServiceAnswer SessionService::MinutesLeft(const Caller& caller) const {
  const auto kept = kept_.find(caller.session_id);
  if (kept == kept_.end() || kept->second->sid != caller.sid) return {{}, {}, "minutes", "none"};
  return {{}, {}, "minutes", std::to_string(kept->second->keeper.minutes_left())};
}

void SessionService::Keep(const Caller& caller, int32_t record_number,
                          const std::string& user_name) {
  auto kept = std::make_unique<KeptSession>(caller.sid, minute_seconds_, caller.session_id);
  if (kept->keeper.Start(record_number, user_name)) {
    kept_[caller.session_id] = std::move(kept);
  } else {
    kept_.erase(caller.session_id);
  }
}

void SessionService::LogOffSoon(uint32_t session_id) {
  kept_.erase(session_id);
  ending_.insert_or_assign(session_id, MinuteTicker(minute_seconds_));
}

void SessionService::Tick() {
  for (auto it = ending_.begin(); it != ending_.end();) {
    if (!it->second.MinutePassed()) {
      ++it;
      continue;
    }
    platform::LogOffSession(it->first);
    it = ending_.erase(it);
  }
  for (auto it = kept_.begin(); it != kept_.end();) {
    MinuteKeeper& keeper = it->second->keeper;
    if (it->second->ticker.MinutePassed() &&
        (!keeper.CountMinute() || keeper.minutes_left() <= 0)) {
      it = kept_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace nox::service
