#include "common/boot_options.h"

#include <cctype>

#include "common/list_input.h"
#include "common/runtime_error.h"
#include "platform/platform.h"

namespace nox {
namespace {

constexpr const char* kSource = "BootOptions";
constexpr std::string_view kHostPhrase = "Host drive for drive";
constexpr std::string_view kDriveWord = "Drive";

size_t FindIgnoringCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return std::string_view::npos;
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < word.size() && std::tolower(static_cast<unsigned char>(text[i + j])) ==
                                  std::tolower(static_cast<unsigned char>(word[j]))) {
      ++j;
    }
    if (j == word.size()) return i;
  }
  return std::string_view::npos;
}

// The first non-blank character from `from` on, as text; empty when none.
std::string FirstCharacterBehind(std::string_view line, size_t from) {
  for (size_t i = from; i < line.size(); ++i) {
    if (line[i] != ' ') return std::string(1, line[i]);
  }
  return "";
}

void WriteSwitchesIfPresent(const std::string& letter, const std::string& value) {
  const std::string file = letter + ":\\Msdos.sys";
  if (FileIsPresent(file)) WriteBootSwitches(file, value);
}

}  // namespace

bool FileIsPresent(const std::string& path) {
  const long error = platform::OpenForReading(path);
  return error == platform::kSuccess || FileErrorNumber(error) == kErrPermissionDenied;
}

void WriteBootSwitches(const std::string& file, const std::string& value) {
  RaiseIfFileError(platform::SetFileAttributes(file, platform::kAttrNormal), kSource);
  for (const char* key : {"BootMulti", "BootWarn", "BootKeys"}) {
    if (!platform::WriteProfileString("Options", key, value, file)) {
      Raise(kErrPathFileAccess, kSource);
    }
  }
}

std::vector<std::string> HostDriveLetters(std::string_view drive_list) {
  std::vector<std::string> letters;
  ListInput input{std::string(drive_list)};
  while (!input.AtEnd()) {
    const std::string line = input.ReadLine();
    const size_t phrase = FindIgnoringCase(line, kHostPhrase);
    if (phrase == std::string_view::npos) continue;
    letters.push_back(FirstCharacterBehind(line, FindIgnoringCase(line, kDriveWord) + 5));
    letters.push_back(FirstCharacterBehind(line, phrase + kHostPhrase.size()));
  }
  return letters;
}

void ApplyBootOptions(const std::string& value) {
  try {
    if (FileIsPresent(kDriveListFile)) {
      std::string drive_list;
      RaiseIfFileError(platform::ReadWholeFile("c:\\drives.dat", &drive_list), kSource);
      for (const std::string& letter : HostDriveLetters(drive_list)) {
        WriteSwitchesIfPresent(letter, value);
      }
    } else if (FileIsPresent("C:\\msdos.sys")) {
      WriteBootSwitches("C:\\Msdos.sys", value);
    }
  } catch (const RuntimeError&) {
    // A boot file that cannot be written ends the step; the caller is not told.
  }
}

}  // namespace nox
