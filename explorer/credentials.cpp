// The credential check, the two buttons and the completion of a login.
#include <string>

#include "common/ansi_text.h"
#include "common/password_field.h"
#include "common/product_registry.h"
#include "common/regpath.h"
#include "common/runtime_error.h"
#include "explorer/frm_login.h"
#include "explorer/user_table_scan.h"

namespace nox {
namespace {

constexpr const char* kCorrectPassword = "Correct_password";

// Check states, compared as numbers (2 is never used).
constexpr int kNameUnseen = 0;
constexpr int kWrongPassword = 1;
constexpr int kMatched = 3;

// The user name of the last login and an empty line where the password
// once was: every account can read the file.
long WriteCurrentUserFile(const std::string& system_directory, const std::string& name) {
  return platform::WriteWholeFile(system_directory + "user.cur", name + "\r\n\r\n");
}

}  // namespace

std::string frmLogin::password_verify(const std::string& name, const std::string& password) {
  int state = kNameUnseen;
  UserTableScan table;
  int32_t n = 1;
  UserRecord record = table.Record(n);
  while (record.TrimmedName() != "EOF") {
    const bool same_name = EqualsIgnoreCase(record.TrimmedName(), name);
    // A one-way field that this Windows cannot check (9x) matches nothing.
    if (same_name && MatchPassword(FieldText(record.password), password) == PasswordMatch::kMatch) {
      state = kMatched;
      current_record_number = std::to_string(n);
      ComputeSessionMinutes(n, record);
      break;
    }
    if (same_name && state < 2) state = kWrongPassword;
    ++n;
    record = table.Record(n);
  }
  if (state == kMatched) return kCorrectPassword;
  return state == kNameUnseen ? "name" : "password";
}

void frmLogin::cmdOK_Click() {
  if (Text1[0].text.empty()) Text1[0].text = ".Default";
  if (through_service) {
    LogInWindowThroughService();
    return;
  }
  if (password_verify(Text1[0].text, Text1[1].text) == kCorrectPassword) {
    CompleteLogin(LoginVariant::kOkButton);
    return;
  }
  ShowRefusal(password_verify(Text1[0].text, Text1[1].text));
}

void frmLogin::ShowRefusal(const std::string& result) {
  ShowMessage("Sorry, your " + result + " does not verify. Please check it and try again.",
              platform::kMbOk);
}

void frmLogin::cmdCancel_Click() {
  platform::ExitWindows(0, 6);
  platform::EndProgram(0);
}

bool frmLogin::CompleteLogin(LoginVariant variant) {
  const bool automatic = variant != LoginVariant::kOkButton;
  // A login that cannot complete says why; the OK path's window comes back.
  auto fail = [&](int32_t number, const std::string& description) {
    if (!automatic) {
      visible = true;
      if (on_show) on_show();
    }
    ShowRuntimeError(number, description);
    return false;
  };
  if (variant == LoginVariant::kOkButton) {
    visible = false;
    if (on_hide) on_hide();
    const long error = WriteCurrentUserFile(system_directory, Text1[0].text);
    // Without the record of who logged in the login must not go on.
    if (error != platform::kSuccess) {
      const int32_t number = FileErrorNumber(error);
      return fail(number, StandardErrorText(number));
    }
  } else if (variant == LoginVariant::kAutomaticB) {
    WriteCurrentUserFile(system_directory, Text1[0].text);
  }
  IgnoreErrors([&] { RegWrite(kLoggedOnRecordValue, current_record_number, platform::kRegSz); });
  if (automatic) {
    IgnoreErrors(
        [&] { RegWrite(kLoggedOnNameValue, FieldText(current_user.user_name), platform::kRegSz); });
    CheckSessionAllowance();
  }
  try {
    WriteSettings();
  } catch (const RuntimeError& error) {
    return fail(error.number(), error.description());
  }
  return true;
}

void frmLogin::ShowRuntimeError(int32_t number, const std::string& description) {
  ShowMessage(std::to_string(number) + ": " + description, platform::kMbOk | platform::kMbIconStop);
}

void frmLogin::ShowMessage(const std::string& text, uint32_t flags) {
  if (outlet.message) {
    outlet.message(text, flags);
  } else {
    platform::MessageBox(text, MessageTitle(), flags);
  }
}

}  // namespace nox
