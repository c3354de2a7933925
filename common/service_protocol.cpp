#include "common/service_protocol.h"

#include <charconv>

namespace nox {
namespace {

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    // A CR or NUL stands only escaped: one spelling for every text.
    if (text[i] == '\r' || text[i] == '\0') return std::nullopt;
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case '0':
        out += '\0';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

// The lines of a message that ends in "\n"; nullopt when it does not, or
// when it does not start with the protocol line.
std::optional<std::vector<std::string_view>> Lines(std::string_view bytes) {
  if (bytes.empty() || bytes.back() != '\n') return std::nullopt;
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find('\n', start);
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  if (lines.empty() || lines.front() != kServiceProtocol) return std::nullopt;
  lines.erase(lines.begin());
  return lines;
}

// "WORD REST" split at the first blank; REST empty when there is none.
std::pair<std::string_view, std::string_view> FirstWord(std::string_view line) {
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return {line, {}};
  return {line.substr(0, blank), line.substr(blank + 1)};
}

std::optional<uint32_t> Number(std::string_view text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

bool KnownWindowState(uint32_t state) {
  switch (static_cast<platform::WindowState>(state)) {
    case platform::WindowState::kHidden:
    case platform::WindowState::kNormalFocus:
    case platform::WindowState::kMinimizedFocus:
    case platform::WindowState::kMaximizedFocus:
    case platform::WindowState::kNormalNoFocus:
    case platform::WindowState::kMinimizedNoFocus:
      return true;
  }
  return false;
}

}  // namespace

std::string EncodeServiceRequest(const ServiceRequest& request) {
  std::string bytes = std::string(kServiceProtocol) + "\n";
  switch (request.kind) {
    case ServiceRequestKind::kLoginAuto:
      return bytes + "login auto\n";
    case ServiceRequestKind::kLoginWindow:
      return bytes + "login window\n" + Escape(request.name) + "\n" + Escape(request.password) +
             "\n";
    case ServiceRequestKind::kMinutes:
      return bytes + "minutes\n";
  }
  return bytes;
}

std::optional<ServiceRequest> ParseServiceRequest(std::string_view bytes) {
  const std::optional<std::vector<std::string_view>> lines = Lines(bytes);
  if (!lines || lines->empty()) return std::nullopt;
  ServiceRequest request;
  const std::string_view verb = lines->front();
  if (verb == "login auto" && lines->size() == 1) {
    request.kind = ServiceRequestKind::kLoginAuto;
  } else if (verb == "minutes" && lines->size() == 1) {
    request.kind = ServiceRequestKind::kMinutes;
  } else if (verb == "login window" && lines->size() == 3) {
    request.kind = ServiceRequestKind::kLoginWindow;
    std::optional<std::string> name = Unescape((*lines)[1]);
    std::optional<std::string> password = Unescape((*lines)[2]);
    if (!name || !password) return std::nullopt;
    request.name = std::move(*name);
    request.password = std::move(*password);
  } else {
    return std::nullopt;
  }
  return request;
}

std::string EncodeServiceAnswer(const ServiceAnswer& answer) {
  std::string bytes = std::string(kServiceProtocol) + "\n";
  // One line: the word, its number when there is one, the escaped text.
  const auto line = [&bytes](const char* word, std::optional<uint32_t> number,
                             std::string_view text) {
    bytes.append(word);
    if (number) bytes.append(" ").append(std::to_string(*number));
    if (!text.empty() || number) bytes.append(" ").append(Escape(text));
    bytes.append("\n");
  };
  for (const ServiceMessage& message : answer.messages)
    line("message", message.flags, message.text);
  for (const auto& [state, command] : answer.programs) {
    line("start", static_cast<uint32_t>(state), command);
  }
  std::string result = Escape(answer.result);
  if (!answer.detail.empty()) result.append(" ").append(Escape(answer.detail));
  bytes.append("result ").append(result).append("\n");
  return bytes;
}

std::optional<ServiceAnswer> ParseServiceAnswer(std::string_view bytes) {
  const std::optional<std::vector<std::string_view>> lines = Lines(bytes);
  if (!lines || lines->empty()) return std::nullopt;
  ServiceAnswer answer;
  for (size_t i = 0; i < lines->size(); ++i) {
    const auto [word, rest] = FirstWord((*lines)[i]);
    const bool last = i + 1 == lines->size();
    if (word == "result" && last) {
      const auto [result, detail] = FirstWord(rest);
      std::optional<std::string> result_text = Unescape(result);
      std::optional<std::string> detail_text = Unescape(detail);
      if (!result_text || result_text->empty() || !detail_text) return std::nullopt;
      answer.result = std::move(*result_text);
      answer.detail = std::move(*detail_text);
      return answer;
    }
    if (last || (word != "message" && word != "start")) return std::nullopt;
    const auto [number, text] = FirstWord(rest);
    const std::optional<uint32_t> value = Number(number);
    std::optional<std::string> unescaped = Unescape(text);
    if (!value || !unescaped) return std::nullopt;
    if (word == "message") {
      answer.messages.push_back({*value, std::move(*unescaped)});
    } else {
      if (!KnownWindowState(*value)) return std::nullopt;
      answer.programs.emplace_back(static_cast<platform::WindowState>(*value),
                                   std::move(*unescaped));
    }
  }
  return std::nullopt;
}

bool ServiceInstalled() {
  platform::ScopedRegKey key;
  return platform::RegOpenKey(platform::kLocalMachine, kServiceKey, platform::kKeyRead,
                              key.receive()) == platform::kSuccess;
}

}  // namespace nox
