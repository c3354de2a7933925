// JSON text for the page's answers. Strings are UTF-8; "<", ">" and "&" are
// escaped besides what JSON asks, so that no answer can be read as markup.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nox::admin {

// Appends `text` as a JSON string. Bytes that are not UTF-8 become U+FFFD,
// one for each byte.
void AppendJsonString(std::string& out, std::string_view text);
std::string JsonString(std::string_view text);

// [item,item,...] of items already in JSON.
std::string JsonArray(const std::vector<std::string>& items);

// A JSON object written member by member.
class JsonObject {
 public:
  JsonObject& Raw(std::string_view key, std::string_view json);
  JsonObject& Text(std::string_view key, std::string_view utf8);
  JsonObject& Number(std::string_view key, int64_t value);
  JsonObject& Flag(std::string_view key, bool value);
  // null when nothing.
  JsonObject& MaybeNumber(std::string_view key, std::optional<int64_t> value);
  JsonObject& MaybeText(std::string_view key, std::optional<std::string_view> utf8);
  std::string Done() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);

  std::string text_ = "{";
};

}  // namespace nox::admin
