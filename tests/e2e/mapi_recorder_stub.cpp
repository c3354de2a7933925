// A Simple MAPI stand-in, built as MAPI32.DLL: MAPISendMail writes what it
// was handed, one "field=value" line each, to "mapi-received.txt" in the
// current directory, together with whether the attachment's file existed at
// sending time and its first line. Answers MAPI_E_FAILURE, as a mail system
// refusing the send would.
#include <string>

#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"
// After windows.h, which it builds on.
#include <mapi.h>

namespace {

std::string Text(const char* text) { return text == nullptr ? "<null>" : text; }

std::string FirstLine(const char* path) {
  const platform::win32::ScopedFile file(
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return "<missing>";
  char buffer[512] = {};
  DWORD read = 0;
  ReadFile(file.get(), buffer, sizeof buffer - 1, &read, nullptr);
  std::string line(buffer, read);
  return line.substr(0, line.find('\r'));
}

}  // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE session, ULONG_PTR ui_param, lpMapiMessage message, FLAGS flags,
                 ULONG reserved) {
  std::string record =
      "session=" + std::to_string(session) + "\r\nui=" + std::to_string(ui_param) +
      "\r\nflags=" + std::to_string(flags) + "\r\nreserved=" + std::to_string(reserved) +
      "\r\nsubject=" + Text(message->lpszSubject) + "\r\nnote=" + Text(message->lpszNoteText) +
      "\r\ntype=" + Text(message->lpszMessageType) +
      "\r\nrecipients=" + std::to_string(message->nRecipCount) +
      "\r\nfiles=" + std::to_string(message->nFileCount) + "\r\n";
  if (message->nRecipCount >= 1 && message->lpRecips != nullptr) {
    const MapiRecipDesc& recipient = message->lpRecips[0];
    record += "class=" + std::to_string(recipient.ulRecipClass) +
              "\r\nname=" + Text(recipient.lpszName) +
              "\r\naddress=" + Text(recipient.lpszAddress) + "\r\n";
  }
  if (message->nFileCount >= 1 && message->lpFiles != nullptr) {
    const MapiFileDesc& file = message->lpFiles[0];
    record += "position=" + std::to_string(file.nPosition) + "\r\npath=" + Text(file.lpszPathName) +
              "\r\nfile=" + Text(file.lpszFileName) +
              "\r\nfirst line=" + FirstLine(file.lpszPathName) + "\r\n";
  }
  const platform::win32::ScopedFile out(
      CreateFileA("mapi-received.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (out.valid()) {
    DWORD written = 0;
    WriteFile(out.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  }
  return MAPI_E_FAILURE;
}
