// Any request, as the HTTP library hands it to the page's handler: no crash,
// every answer with its security policy, and the tables either changed as a
// whole or not at all (the command line's own guarantees).
//
// Input: lines of method, path ("!" at the start stands for the token's
// path), Host ("=" for the right one), Content-Type, then parameters
// "name=value" up to an empty line, then the body.
#include <httplib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "noxadmin/cli.h"
#include "noxadmin/serve/server.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr int kPort = 8737;

platform::LocalTime FixedNow() {
  platform::LocalTime now;
  now.year = 2026;
  now.month = 12;
  now.day = 7;
  now.hour = 9;
  return now;
}

// Two folders of this process: the starting tables, and their copy each input
// works on.
struct Folders {
  fs::path base;
  fs::path work;
};

const Folders& TheFolders() {
  static const Folders folders = [] {
    const fs::path root =
        fs::temp_directory_path() / ("nox-api-fuzz-" + std::to_string(::getpid()));
    Folders made{root / "base", root / "work"};
    fs::create_directories(made.base);
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in;
    nox::admin::AdminContext context{out, err, in, FixedNow()};
    for (const char* name : {"ann", "bob"}) {
      nox::admin::RunNoxadmin({"--dir", made.base.string(), "user", "add", name, "--minutes", "30"},
                              context);
    }
    return made;
  }();
  return folders;
}

std::string_view NextLine(std::string_view& input) {
  const size_t end = input.find('\n');
  const std::string_view line = input.substr(0, end);
  input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Folders& folders = TheFolders();
  fs::remove_all(folders.work);
  fs::copy(folders.base, folders.work);

  std::string_view input(reinterpret_cast<const char*>(data), size);
  httplib::Request request;
  request.method = std::string(NextLine(input));
  const std::string path(NextLine(input));
  request.path =
      !path.empty() && path[0] == '!' ? "/" + std::string(kToken) + "/" + path.substr(1) : path;
  const std::string host(NextLine(input));
  request.headers.emplace("Host", host == "=" ? "127.0.0.1:" + std::to_string(kPort) : host);
  request.headers.emplace("Content-Type", std::string(NextLine(input)));
  for (std::string_view line = NextLine(input); !line.empty(); line = NextLine(input)) {
    const size_t equals = line.find('=');
    request.params.emplace(
        std::string(line.substr(0, equals)),
        equals == std::string_view::npos ? "" : std::string(line.substr(equals + 1)));
  }
  request.body = std::string(input);

  nox::admin::AdminApi api({folders.work.string(), std::nullopt}, kToken, FixedNow);
  api.set_port(kPort);
  httplib::Response response;
  api.Handle(request, response);
  if (response.get_header_value("Content-Security-Policy").empty()) std::abort();
  if (response.status < 200 || response.status > 599) std::abort();
  return 0;
}
