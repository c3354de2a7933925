#include "noxadmin/serve/json.h"

#include <gtest/gtest.h>

#include "noxadmin/text.h"

namespace nox::admin {
namespace {

struct Escape {
  std::string text;
  std::string json;
};

TEST(Json, StringsAreEscapedByteForByte) {
  const std::vector<Escape> cases = {
      {"", "\"\""},
      {"plain text 123", "\"plain text 123\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\NOX\\", "\"C:\\\\NOX\\\\\""},
      {std::string("\0\x01\x1F", 3), "\"\\u0000\\u0001\\u001f\""},
      {"\t\r\n", "\"\\u0009\\u000d\\u000a\""},
      {"\x7F", "\"\\u007f\""},
      {"<b>&amp;</b>", "\"\\u003cb\\u003e\\u0026amp;\\u003c/b\\u003e\""},
      {"/'", "\"/'\""},
      // UTF-8 passes as it is.
      {"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80", "\"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      // Each byte that is not UTF-8 becomes one U+FFFD.
      {"a\xFF"
       "b",
       "\"a\\ufffdb\""},
      {"\xC3", "\"\\ufffd\""},
      {"\xC3(", "\"\\ufffd(\""},
      {"\xE2\x82", "\"\\ufffd\\ufffd\""},
      {"\xC0\x80", "\"\\ufffd\\ufffd\""},
      {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
      {"\xF4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
      // Windows-1252 text that was not converted: the bytes are not UTF-8.
      {"Zo\xEB \x80", "\"Zo\\ufffd \\ufffd\""},
  };
  for (const Escape& c : cases) {
    EXPECT_EQ(JsonString(c.text), c.json) << testing::PrintToString(c.text);
  }
}

// The Win32 build's output is Windows-1252: converted first, every byte is a
// character (the five unassigned ones U+FFFD).
TEST(Json, Windows1252TextConvertedFirstKeepsEveryCharacter) {
  EXPECT_EQ(JsonString(AnsiToUtf8("Zo\xEB \x80\x81\x9F \"<")),
            "\"Zo\xC3\xAB \xE2\x82\xAC\xEF\xBF\xBD\xC5\xB8 \\\"\\u003c\"");
}

TEST(Json, ObjectsAndArraysAreWrittenInOrder) {
  EXPECT_EQ(JsonObject().Done(), "{}");
  EXPECT_EQ(JsonObject()
                .Text("name", "a\"b")
                .Number("n", -12)
                .Flag("ok", true)
                .Flag("no", false)
                .MaybeNumber("used", std::nullopt)
                .MaybeNumber("lab", 7)
                .MaybeText("field", std::nullopt)
                .MaybeText("other", "x")
                .Raw("list", JsonArray({"1", "\"two\""}))
                .Text("<key>", "")
                .Done(),
            "{\"name\":\"a\\\"b\",\"n\":-12,\"ok\":true,\"no\":false,\"used\":null,\"lab\":7,"
            "\"field\":null,\"other\":\"x\",\"list\":[1,\"two\"],\"\\u003ckey\\u003e\":\"\"}");
  EXPECT_EQ(JsonArray({}), "[]");
}

}  // namespace
}  // namespace nox::admin
