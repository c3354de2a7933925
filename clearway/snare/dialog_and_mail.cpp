// The error dialog and the mailed report as the trap calls them. Nothing
// else the trap needs lives here, so a test program can bring its own two.
#include "clearway/snare/frm_snare.h"
#include "clearway/snare/snare_internal.h"
#include "clearway/snare/snare_mail.h"

namespace nox {

namespace {

constexpr const char* kMailedLog = "!error!.log";

// Lends the log file setting to the mailed log for the scope and deletes
// that file again on every path.
class MailedLogFile {
 public:
  MailedLogFile()
      : saved_(Snare().settings.log_file), path_(platform::CurrentDirectory() + "\\" + kMailedLog) {
    // A copy left by an interrupted run must not be mailed along.
    platform::DeleteFile(path_);
    Snare().settings.log_file = kMailedLog;
  }
  ~MailedLogFile() {
    platform::DeleteFile(path_);
    Snare().settings.log_file = saved_;
  }
  MailedLogFile(const MailedLogFile&) = delete;
  MailedLogFile& operator=(const MailedLogFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string saved_;
  std::string path_;
};

}  // namespace

int16_t pfDialog() {
  frmSNARE form;
  BindSnareWindow(form);
  return ShowSnareDialog(form);
}

void pfMail() {
  const MailedLogFile log;
  pfLog();
  SendErrorReportMail(BuildErrorReportMail(log.path()));
}

}  // namespace nox
