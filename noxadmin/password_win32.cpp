// "noxadmin password": the administrator password, kept by Tessel.dll in
// the registry of the machine noxadmin.exe runs on.
#include <cstring>
#include <istream>
#include <ostream>

#include "noxadmin/session.h"
#include "platform/win32/scoped_handles.h"
#include "platform/win32/win32_api.h"

namespace nox::admin {
namespace {

using platform::win32::ScopedLibrary;

constexpr size_t kMaxPassword = 80;

// The password from the command line, or the first line of the input.
std::string PasswordArgument(Session& session, const ParsedArgs& args) {
  if (!args.positional.empty()) return ToAnsi(args.positional[0], "password", "PASSWORD");
  session.err() << "Administrator password: " << std::flush;
  std::string line;
  std::getline(session.context().in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ToAnsi(line, "password", "PASSWORD");
}

using SetPasswordFn = int32_t(__stdcall*)(char* password);
using CheckPasswordFn = int32_t(__stdcall*)(const char* candidate);

ScopedLibrary LoadTessel() {
  const HMODULE library = LoadLibraryA("Tessel.dll");
  if (library == nullptr) throw Failure("cannot load Tessel.dll (put it beside noxadmin.exe)");
  return ScopedLibrary(library);
}

template <typename Fn>
Fn Export(const ScopedLibrary& library, const char* name) {
  auto address = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library.get(), name)));
  if (address == nullptr) throw Failure(std::string("Tessel.dll has no export ") + name);
  return address;
}

int32_t CallCheck(const ScopedLibrary& library, const std::string& candidate) {
  return Export<CheckPasswordFn>(library, "CheckPassword")(candidate.c_str());
}

}  // namespace

int PasswordSet(Session& session, const ParsedArgs& args) {
  const std::string password = PasswordArgument(session, args);
  if (password.empty()) {
    throw Refusal::OfField("password", "an empty password cannot be stored", "PASSWORD");
  }
  if (password.size() > kMaxPassword) {
    throw Refusal::OfField(
        "password", std::to_string(password.size()) + " characters, at most 80 fit", "PASSWORD");
  }
  const ScopedLibrary library = LoadTessel();
  char buffer[kMaxPassword + 1] = {};
  std::memcpy(buffer, password.data(), password.size());
  if (Export<SetPasswordFn>(library, "SetPassword")(buffer) != -1) {
    throw Failure("SetPassword did not store the password");
  }
  SecureZeroMemory(buffer, sizeof buffer);
  // The store keeps the cipher only up to its first zero byte: a password
  // whose cipher has one early can never be matched again.
  if (CallCheck(library, password) != -1) {
    throw Failure(
        "the password was stored but does not check back (its cipher holds a zero "
        "byte); store another one");
  }
  session.out() << "Administrator password stored\n";
  return kExitOk;
}

int PasswordCheck(Session& session, const ParsedArgs& args) {
  const std::string candidate = PasswordArgument(session, args);
  const ScopedLibrary library = LoadTessel();
  switch (CallCheck(library, candidate)) {
    case -1:
      session.out() << "The password matches\n";
      return kExitOk;
    case -2:
      throw Failure("no administrator password is stored on this machine");
    default:
      throw Failure("the password does not match");
  }
}

}  // namespace nox::admin
