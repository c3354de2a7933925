#include "noxadmin/serve/json.h"

#include "noxadmin/utf8.h"

namespace nox::admin {

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    if (!NextCodePoint(text, i)) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[start]);
    if (i - start > 1) {
      out.append(text.substr(start, i - start));
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

std::string JsonArray(const std::vector<std::string>& items) {
  std::string text = "[";
  for (const std::string& item : items) text += (text.size() > 1 ? "," : "") + item;
  return text + "]";
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
  Key(key);
  text_.append(json);
  return *this;
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view utf8) {
  Key(key);
  AppendJsonString(text_, utf8);
  return *this;
}

JsonObject& JsonObject::Number(std::string_view key, int64_t value) {
  return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Flag(std::string_view key, bool value) {
  return Raw(key, value ? "true" : "false");
}

JsonObject& JsonObject::MaybeNumber(std::string_view key, std::optional<int64_t> value) {
  return Raw(key, value ? std::to_string(*value) : "null");
}

JsonObject& JsonObject::MaybeText(std::string_view key, std::optional<std::string_view> utf8) {
  return utf8 ? Text(key, *utf8) : Raw(key, "null");
}

void JsonObject::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ',';
  AppendJsonString(text_, key);
  text_ += ':';
}

}  // namespace nox::admin
