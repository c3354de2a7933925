#include "clearway/snare/snaretry.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "clearway/snare/traced_routine.h"
#include "common/runtime_error.h"

namespace nox::snaretry {

namespace {

constexpr const char* kModule = "snaretry";
constexpr int32_t kRaisingLine = 20;

// Blank-separated words; a word may be quoted to hold blanks.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ' || text[pos] == '\t') {
      ++pos;
      continue;
    }
    std::string word;
    if (text[pos] == '"') {
      const size_t close = text.find('"', pos + 1);
      word = text.substr(pos + 1, close == std::string_view::npos ? close : close - pos - 1);
      pos = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      const size_t end = text.find_first_of(" \t", pos);
      word = text.substr(pos, end == std::string_view::npos ? end : end - pos);
      pos = end == std::string_view::npos ? text.size() : end;
    }
    words.push_back(std::move(word));
  }
  return words;
}

// A whole decimal number within [low, high].
std::optional<int32_t> Number(const std::string& word, int64_t low, int64_t high) {
  if (word.empty() || word.size() > 11) return std::nullopt;
  size_t pos = word[0] == '-' ? 1 : 0;
  if (pos == word.size()) return std::nullopt;
  int64_t value = 0;
  for (; pos < word.size(); ++pos) {
    if (word[pos] < '0' || word[pos] > '9') return std::nullopt;
    value = value * 10 + (word[pos] - '0');
  }
  if (word[0] == '-') value = -value;
  if (value < low || value > high) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool SameSwitch(const std::string& word, std::string_view name) {
  if (word.size() != name.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(word[i])) != name[i]) return false;
  }
  return true;
}

void RaiseTheError(const Options& options) { Raise(options.number, options.source.value_or("")); }

void Hidden(const Options& options) {
  TracedRoutine routine = TracedRoutine::Unannounced("hiddenmod", "Sub Hidden");
  routine.Do(kRaisingLine, [&] { RaiseTheError(options); });
}

void Nest(int32_t depth, const Options& options) {
  TracedRoutine routine(kModule, "Sub Nest", [&] {
    return ArgumentList({{"depth", std::to_string(depth)}});
  });
  if (depth > 1) {
    routine.Do(10, [&] { Nest(depth - 1, options); });
  } else if (options.unannounced) {
    routine.Do(10, [&] { Hidden(options); });
  } else {
    routine.Do(kRaisingLine, [&] { RaiseTheError(options); });
  }
}

}  // namespace

std::optional<Options> ParseCommandLine(std::string_view command_line) {
  Options options;
  const std::vector<std::string> words = Words(command_line);
  bool have_number = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    const bool has_value = i + 1 < words.size();
    if (SameSwitch(word, "/depth") && has_value) {
      const auto depth = Number(words[++i], 1, kMaxDepth);
      if (!depth) return std::nullopt;
      options.depth = *depth;
    } else if (SameSwitch(word, "/source") && has_value) {
      options.source = words[++i];
    } else if (SameSwitch(word, "/unannounced")) {
      options.unannounced = true;
    } else if (SameSwitch(word, "/twice")) {
      options.twice = true;
    } else if (!have_number) {
      const auto number = Number(word, INT32_MIN, INT32_MAX);
      if (!number) return std::nullopt;
      options.number = *number;
      have_number = true;
    } else {
      return std::nullopt;
    }
  }
  if (!have_number) return std::nullopt;
  return options;
}

void Main(const Options& options) {
  TracedRoutine routine(kModule, "Sub main", TracedRoutine::OnError::kResumeNext);
  for (int run = options.twice ? 2 : 1; run > 0; --run) {
    routine.Do([&] { Nest(options.depth, options); });
  }
}

}  // namespace nox::snaretry
