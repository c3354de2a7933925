// "noxadmin password": the administrator password, kept by Tessel.dll in
// the registry of the machine noxadmin.exe runs on.
#include <istream>
#include <ostream>

#include "noxadmin/session.h"

#if defined(_WIN32)
#include <windows.h>

#include <cstring>
#include <memory>
#endif

namespace nox::admin {
namespace {

constexpr size_t kMaxPassword = 80;

#if defined(_WIN32)

// The password from the command line, or the first line of the input.
std::string PasswordArgument(Session& session, const ParsedArgs& args) {
  if (!args.positional.empty()) return ToAnsi(args.positional[0], "password", "PASSWORD");
  session.err() << "Administrator password: " << std::flush;
  std::string line;
  std::getline(session.context().in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ToAnsi(line, "password", "PASSWORD");
}

struct LibraryFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using ScopedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

using SetPasswordFn = int32_t(__stdcall*)(char* password);
using CheckPasswordFn = int32_t(__stdcall*)(const char* candidate);

ScopedLibrary LoadTessel() {
  ScopedLibrary library(LoadLibraryA("Tessel.dll"));
  if (!library) throw Failure("cannot load Tessel.dll (put it beside noxadmin.exe)");
  return library;
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

#endif

}  // namespace

#if defined(_WIN32)

int PasswordSet(Session& session, const ParsedArgs& args) {
  const std::string password = PasswordArgument(session, args);
  if (password.empty()) {
    throw Refusal::OfField("password", "an empty password cannot be stored", "PASSWORD");
  }
  if (password.size() > kMaxPassword) {
    throw Refusal::OfField("password",
                           std::to_string(password.size()) + " characters, at most 80 fit",
                           "PASSWORD");
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

#else

int PasswordSet(Session&, const ParsedArgs&) {
  throw Failure(
      "password set works only in noxadmin.exe on the Windows machine itself (the "
      "password lives in its registry, through Tessel.dll)");
}

int PasswordCheck(Session&, const ParsedArgs&) {
  throw Failure(
      "password check works only in noxadmin.exe on the Windows machine itself (the "
      "password lives in its registry, through Tessel.dll)");
}

#endif

}  // namespace nox::admin
