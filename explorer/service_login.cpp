// The login through NoxService: on NT with the service installed, the
// login program keeps the window and the disc guard and asks the service
// for everything that needs rights the user does not have (the tables, the
// credential check, the budget, the restrictions); it then shows what the
// service says and starts the programs it names.
#include <string>

#include "common/service_protocol.h"
#include "explorer/frm_login.h"

namespace nox {
namespace {

constexpr const char* kNoServiceAnswer =
    "The Nox service does not answer. Please try again in a moment.";

std::optional<ServiceAnswer> Ask(const ServiceRequest& request, bool* answered) {
  std::string bytes;
  *answered = platform::AskService(EncodeServiceRequest(request), kServiceConnectMs, &bytes);
  if (!*answered) return std::nullopt;
  return ParseServiceAnswer(bytes);
}

std::vector<frmLogin::ProgramToStart> ProgramsOf(const ServiceAnswer& answer) {
  std::vector<frmLogin::ProgramToStart> programs;
  for (const auto& [state, command_line] : answer.programs) {
    programs.push_back({command_line, state});
  }
  return programs;
}

}  // namespace

bool frmLogin::LogInThroughService() {
  bool answered = false;
  const std::optional<ServiceAnswer> answer =
      Ask(ServiceRequest{ServiceRequestKind::kLoginAuto, "", ""}, &answered);
  if (!answered) return false;
  through_service = true;
  if (answer) {
    if (FollowServiceAnswer(*answer)) return true;
    if (answer->result == "window") Text1[0].text = answer->detail;
  }
  Centre();
  Show();
  return true;
}

void frmLogin::LogInWindowThroughService() {
  bool answered = false;
  const std::optional<ServiceAnswer> answer = Ask(
      ServiceRequest{ServiceRequestKind::kLoginWindow, Text1[0].text, Text1[1].text}, &answered);
  if (!answer) {
    ShowMessage(kNoServiceAnswer, platform::kMbOk | platform::kMbIconExclamation);
    return;
  }
  if (FollowServiceAnswer(*answer)) return;
  if (answer->result == "name" || answer->result == "password") ShowRefusal(answer->result);
}

bool frmLogin::FollowServiceAnswer(const ServiceAnswer& answer) {
  for (const ServiceMessage& message : answer.messages) ShowMessage(message.text, message.flags);
  if (answer.result == "logoff") ForceLogOff();
  if (answer.result != "accepted") return false;
  visible = false;
  if (on_hide) on_hide();
  StartShell(ProgramsOf(answer));
  return true;
}

}  // namespace nox
