// What the login program and pelorus.exe say to NoxService over its pipe,
// and what it answers. One request and one answer per connection, each a
// message of lines ending in "\n"; the first line names the protocol and its
// version, "NoxService 1".
//
// Requests (the caller's account and session come from the pipe, never from
// the request; nothing in a request names a key, a file or a value):
//   login auto                     automatic logins A and B
//   login window\nNAME\nPASSWORD   the login window's OK button
//   minutes                        minutes left today for the caller's session
// Answers, in this order:
//   message FLAGS TEXT             a message box to show (any number, in order)
//   start STATE COMMAND            a program to start in the session (any number)
//   result WORD DETAIL             exactly one, last
// Result words: accepted (DETAIL the Nox user), window (show the login
// window; DETAIL the name it shows), name or password (the credential check
// refused that field), failed (the login said why and the window comes back),
// logoff (the day's minutes are used up; the session is ended), minutes
// (DETAIL the number, or "none" when the session has no budget kept), refused
// (a request the service cannot take; DETAIL why).
//
// Texts (names, passwords, messages, commands, details) escape "\" as "\\",
// CR as "\r", LF as "\n" and NUL as "\0"; every other byte stands for itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace nox {

inline constexpr const char* kServiceProtocol = "NoxService 1";
// How long a client waits for the pipe, including a service still starting.
inline constexpr uint32_t kServiceConnectMs = 2000;
// The service's key: present when it is installed (readable by every account).
inline constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\NoxService";

enum class ServiceRequestKind { kLoginAuto, kLoginWindow, kMinutes };

struct ServiceRequest {
  ServiceRequestKind kind = ServiceRequestKind::kLoginAuto;
  std::string name;      // kLoginWindow only
  std::string password;  // kLoginWindow only
};

struct ServiceMessage {
  uint32_t flags = 0;
  std::string text;
};

struct ServiceAnswer {
  std::vector<ServiceMessage> messages;
  std::vector<std::pair<platform::WindowState, std::string>> programs;
  std::string result;
  std::string detail;
};

std::string EncodeServiceRequest(const ServiceRequest& request);
// nullopt for anything but a well-formed request.
std::optional<ServiceRequest> ParseServiceRequest(std::string_view bytes);

std::string EncodeServiceAnswer(const ServiceAnswer& answer);
// nullopt for anything but a well-formed answer.
std::optional<ServiceAnswer> ParseServiceAnswer(std::string_view bytes);

// Whether NoxService is installed on this machine.
bool ServiceInstalled();

}  // namespace nox
