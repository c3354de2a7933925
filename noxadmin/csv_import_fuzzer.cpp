// Feeds arbitrary bytes to "noxadmin import" as the CSV file, over a table
// folder holding two users, and checks that a refused import leaves the
// table as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "noxadmin/cli.h"
#include "noxadmin/text.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A table folder of this process, removed when the process ends.
struct ScratchFolder {
  fs::path path = fs::temp_directory_path() / ("noxadmin-fuzz-" + std::to_string(getpid()));
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

int Run(const fs::path& folder, std::vector<std::string> args) {
  args.insert(args.begin(), {"--dir", folder.string()});
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  nox::admin::AdminContext context{out, err, in, platform::LocalTime{}};
  return nox::admin::RunNoxadmin(args, context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  nox::admin::RowProblem error;
  nox::admin::ParseCsv(text, &error);

  static const ScratchFolder scratch;
  const fs::path& folder = scratch.path;
  fs::remove_all(folder);
  fs::create_directories(folder);
  Run(folder, {"user", "add", "alice", "--programs", "a.exe", "--discs", "D"});
  Run(folder, {"user", "add", "bob", "--level", "Home Low"});
  const std::string before = ReadAll(folder / "USER.TBL");
  {
    std::ofstream csv(folder / "in.csv", std::ios::binary);
    csv << text;
  }
  if (Run(folder, {"import", (folder / "in.csv").string()}) != nox::admin::kExitOk &&
      ReadAll(folder / "USER.TBL") != before) {
    std::abort();
  }
  return 0;
}
