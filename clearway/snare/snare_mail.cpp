#include "clearway/snare/snare_mail.h"

#include <vector>

#include "clearway/snare/snare_internal.h"

namespace nox {

namespace {

// MAPISendMail takes non-const texts; these copies live for the call.
std::vector<char> Writable(const std::string& text) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  return copy;
}

}  // namespace

ErrorReportMail BuildErrorReportMail(const std::string& attachment_path) {
  const SnareState& snare = Snare();
  const ErrorLevel& error = snare.context[0];
  ErrorReportMail mail;
  mail.subject = "Remote Error Report From " + snare.executable_name;
  mail.note_text = "Verdin Snare reports error " + std::to_string(error.number) + " (" +
                   error.description + ")" + " occured in " + snare.executable_name +
                   ". The attached log file has complete details.";
  mail.message_type = "IPM.";
  mail.recipient = snare.settings.email_address;
  mail.attachment_path = attachment_path;
  mail.attachment_name = "snerror.log";
  mail.attachment_position = static_cast<uint32_t>(mail.note_text.size() - 1);
  return mail;
}

void SendErrorReportMail(const ErrorReportMail& mail) {
  const auto send = reinterpret_cast<MapiSendMailFunction>(
      platform::FindLibraryExport("MAPI32.DLL", "MAPISendMail"));
  if (send == nullptr) return;
  std::vector<char> subject = Writable(mail.subject);
  std::vector<char> note = Writable(mail.note_text);
  std::vector<char> type = Writable(mail.message_type);
  std::vector<char> name = Writable(mail.recipient);
  std::vector<char> path = Writable(mail.attachment_path);
  std::vector<char> file_name = Writable(mail.attachment_name);
  MapiRecipDesc recipient = {0, kMapiTo, name.data(), nullptr, 0, nullptr};
  MapiFileDesc attachment = {0,      0, mail.attachment_position, path.data(), file_name.data(),
                             nullptr};
  MapiMessage message = {0, subject.data(), note.data(), type.data(), nullptr, nullptr,
                         0, nullptr,        1,           &recipient,  1,       &attachment};
  send(0, 0, &message, kMapiLogonUi, 0);
}

}  // namespace nox
