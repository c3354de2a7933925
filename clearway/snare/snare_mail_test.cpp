// The mailed error report through a recording MAPISendMail on the fake.
#include "clearway/snare/snare_mail.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "clearway/snare/snare_internal.h"
#include "platform/fake/fake_control.h"

namespace nox {
namespace {

namespace fake = platform::fake;

constexpr const char* kMailedLog = "C:\\NOX\\!error!.log";

// What the recording MAPISendMail saw, copied out of the records during the call.
struct SentMail {
  uintptr_t session, ui_param;
  uint32_t flags, reserved;
  std::string subject, note, type;
  uint32_t recipients, files, recip_class, position, file_flags;
  std::string recip_name;
  bool recip_address_null;
  std::string path, file_name;
  std::optional<std::string> attached_log;  // the file's content at sending time
};
std::vector<SentMail>* g_sent = nullptr;

uint32_t NOX_STDCALL RecordingSend(uintptr_t session, uintptr_t ui_param, MapiMessage* message,
                                   uint32_t flags, uint32_t reserved) {
  SentMail mail{session,
                ui_param,
                flags,
                reserved,
                message->lpszSubject,
                message->lpszNoteText,
                message->lpszMessageType,
                message->nRecipCount,
                message->nFileCount,
                message->lpRecips->ulRecipClass,
                message->lpFiles->nPosition,
                message->lpFiles->flFlags,
                message->lpRecips->lpszName,
                message->lpRecips->lpszAddress == nullptr,
                message->lpFiles->lpszPathName,
                message->lpFiles->lpszFileName,
                fake::FileBytes(message->lpFiles->lpszPathName)};
  g_sent->push_back(mail);
  return 2;  // MAPI_E_FAILURE: the trap does not look
}

class SnareMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ResetSnare();
    fake::SetProgramFileName("C:\\NOX\\Clearway.exe");
    g_sent = &sent_;
  }
  void TearDown() override { g_sent = nullptr; }
  std::vector<SentMail> sent_;
};

TEST_F(SnareMailTest, EveryTrappedErrorIsMailedWithItsLogAttached) {
  fake::RegisterLibraryExport("MAPI32.DLL", "MAPISendMail",
                              reinterpret_cast<void*>(&RecordingSend));
  fake::PutFile("C:\\NOX\\SNCLIENT.INI",
                "[preferences]\r\nSilent Run=1\r\n[email]\r\nAddress=help@example.org\r\n"
                "[log file]\r\nWrite To Disk=1\r\nLog File=err.log\r\n");
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", TrappedError{53, "", "", 0, 4});
  snERROR("Clearway", "Sub main", TrappedError{5, "1!Remote!rm!Sub R!7!70", "", 0, 5});
  ASSERT_EQ(sent_.size(), 2u);
  const std::string notes[] = {
      "Verdin Snare reports error 53 (File not found) occured in Clearway. The attached log file "
      "has complete details.",
      "Verdin Snare reports error 440 (Remote Automation error) occured in Clearway. The attached "
      "log file has complete details."};
  for (size_t i = 0; i < 2; ++i) {
    const SentMail& mail = sent_[i];
    EXPECT_EQ(mail.session, 0u);
    EXPECT_EQ(mail.ui_param, 0u);
    EXPECT_EQ(mail.flags, kMapiLogonUi);
    EXPECT_EQ(mail.reserved, 0u);
    EXPECT_EQ(mail.subject, "Remote Error Report From Clearway");
    EXPECT_EQ(mail.note, notes[i]);
    EXPECT_EQ(mail.type, "IPM.");
    EXPECT_EQ(mail.recipients, 1u);
    EXPECT_EQ(mail.files, 1u);
    EXPECT_EQ(mail.recip_class, kMapiTo);
    EXPECT_EQ(mail.recip_name, "help@example.org");
    EXPECT_TRUE(mail.recip_address_null);
    EXPECT_EQ(mail.position, notes[i].size() - 1);
    EXPECT_EQ(mail.file_flags, 0u);
    EXPECT_EQ(mail.path, kMailedLog);
    EXPECT_EQ(mail.file_name, "snerror.log");
    ASSERT_TRUE(mail.attached_log.has_value());
    // The attachment holds this error's log alone; the configured log holds them all.
    EXPECT_EQ(mail.attached_log->find("Runtime error 53"),
              i == 0 ? mail.attached_log->find("Runtime error") : std::string::npos);
  }
  EXPECT_FALSE(fake::FileExists(kMailedLog)) << "deleted after a failing send";
  EXPECT_EQ(Snare().settings.log_file, "C:\\NOX\\err.log");
  const std::string log = fake::FileBytes("C:\\NOX\\err.log").value_or("");
  EXPECT_NE(log.find("Runtime error 53"), std::string::npos);
  EXPECT_NE(log.find("Runtime error 440"), std::string::npos);
}

TEST_F(SnareMailTest, WithoutAMailSystemNothingIsSentAndNothingLeftBehind) {
  fake::PutFile(kMailedLog, "left by an interrupted run");
  fake::PutFile("C:\\NOX\\SNCLIENT.INI",
                "[preferences]\r\nSilent Run=1\r\n[email]\r\nAddress=a@b\r\n");
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", TrappedError{53, "", "", 0, 4});
  EXPECT_FALSE(fake::FileExists(kMailedLog));
  EXPECT_EQ(Snare().settings.log_file, "");
  EXPECT_FALSE(fake::FileExists("C:\\NOX\\snerror.log")) << "silent, not written to disk";
}

TEST_F(SnareMailTest, WithoutWriteToDiskTheLogIsWrittenForTheMailAndForTheUser) {
  fake::RegisterLibraryExport("MAPI32.DLL", "MAPISendMail",
                              reinterpret_cast<void*>(&RecordingSend));
  fake::PutFile("C:\\NOX\\SNCLIENT.INI", "[email]\r\nAddress=a@b\r\n");
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", TrappedError{53, "", "", 0, 4});
  ASSERT_EQ(sent_.size(), 1u);
  ASSERT_TRUE(sent_[0].attached_log.has_value());
  EXPECT_EQ(*sent_[0].attached_log, fake::FileBytes("C:\\NOX\\snerror.log"))
      << "the same log, once mailed and once in snerror.log";
  EXPECT_FALSE(fake::FileExists(kMailedLog));
  EXPECT_EQ(Snare().settings.log_file, "snerror.log");
}

TEST_F(SnareMailTest, AnEmptyAddressSendsNothing) {
  fake::RegisterLibraryExport("MAPI32.DLL", "MAPISendMail",
                              reinterpret_cast<void*>(&RecordingSend));
  fake::PutFile("C:\\NOX\\SNCLIENT.INI",
                "[preferences]\r\nSilent Run=1\r\n[email]\r\nAddress=\r\n");
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", TrappedError{53, "", "", 0, 4});
  EXPECT_TRUE(sent_.empty());
}

TEST_F(SnareMailTest, MessageOfTheCurrentError) {
  snPUSH("Clearway", "Sub main", "()");
  snERROR("Clearway", "Sub main", TrappedError{70, "", "", 0, 4});
  Snare().settings.email_address = "x@y";
  const ErrorReportMail mail = BuildErrorReportMail("C:\\NOX\\!error!.log");
  EXPECT_EQ(
      mail.note_text,
      "Verdin Snare reports error 70 (Permission denied) occured in Clearway. The attached log "
      "file has complete details.");
  EXPECT_EQ(mail.attachment_position, mail.note_text.size() - 1);
  EXPECT_EQ(mail.recipient, "x@y");
}

}  // namespace
}  // namespace nox
