// The mailed error report: the message as Simple MAPI takes it, and its
// sending through MAPI32.DLL's MAPISendMail.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace nox {

struct ErrorReportMail {
  std::string subject;
  std::string note_text;
  std::string message_type;
  std::string recipient;        // the configured address, as the recipient's name
  std::string attachment_path;  // full path of the written log
  std::string attachment_name;  // what the receiver sees
  uint32_t attachment_position = 0;
};

// The report of the trap's current error, with the log at `attachment_path`.
ErrorReportMail BuildErrorReportMail(const std::string& attachment_path);

// Simple MAPI's records (MAPI.H), as MAPISendMail takes them.
struct MapiRecipDesc {
  uint32_t ulReserved;
  uint32_t ulRecipClass;
  char* lpszName;
  char* lpszAddress;
  uint32_t ulEIDSize;
  void* lpEntryID;
};
struct MapiFileDesc {
  uint32_t ulReserved;
  uint32_t flFlags;
  uint32_t nPosition;
  char* lpszPathName;
  char* lpszFileName;
  void* lpFileType;
};
struct MapiMessage {
  uint32_t ulReserved;
  char* lpszSubject;
  char* lpszNoteText;
  char* lpszMessageType;
  char* lpszDateReceived;
  char* lpszConversationID;
  uint32_t flFlags;
  MapiRecipDesc* lpOriginator;
  uint32_t nRecipCount;
  MapiRecipDesc* lpRecips;
  uint32_t nFileCount;
  MapiFileDesc* lpFiles;
};
using MapiSendMailFunction = uint32_t(NOX_STDCALL*)(uintptr_t session, uintptr_t ui_param,
                                                    MapiMessage* message, uint32_t flags,
                                                    uint32_t reserved);
constexpr uint32_t kMapiTo = 1;
constexpr uint32_t kMapiLogonUi = 0x1;

// Hands the mail to MAPI32.DLL's MAPISendMail (bound at first use) with
// MAPI_LOGON_UI. Whether it was sent is the mail system's business: a
// missing library or export sends nothing.
void SendErrorReportMail(const ErrorReportMail& mail);

}  // namespace nox
