#include "common/version_resource.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace nox {
namespace {

// A block: its length, value length and type words, its key, padding to 4
// bytes, its value, padding to 4 bytes and its child blocks.
struct Block {
  std::u16string key;
  std::string_view value;
  std::string_view children;
};

constexpr size_t kHeaderSize = 6;
constexpr uint16_t kTextType = 1;

uint16_t Word(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1])
                                                                     << 8);
}

size_t Aligned(size_t offset) { return (offset + 3) & ~size_t{3}; }

// The block at the start of `bytes`; nothing when it does not fit in them.
std::optional<Block> ReadBlock(std::string_view bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  const size_t length = Word(bytes, 0);
  if (length < kHeaderSize || length > bytes.size()) return std::nullopt;
  bytes = bytes.substr(0, length);
  Block block;
  size_t at = kHeaderSize;
  for (;; at += 2) {
    if (at + 2 > length) return std::nullopt;
    const char16_t c = Word(bytes, at);
    if (c == 0) break;
    block.key.push_back(c);
  }
  at = Aligned(at + 2);
  // A text value counts characters, any other bytes.
  const size_t value_size =
      Word(bytes, 4) == kTextType ? Word(bytes, 2) * size_t{2} : Word(bytes, 2);
  if (at > length || value_size > length - at) return std::nullopt;
  block.value = bytes.substr(at, value_size);
  block.children = bytes.substr(std::min(length, Aligned(at + value_size)));
  return block;
}

char16_t FoldedAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

bool KeysMatch(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldedAscii(a[i]) != FoldedAscii(b[i])) return false;
  }
  return true;
}

std::optional<Block> Child(const std::optional<Block>& parent, std::u16string_view key) {
  if (!parent) return std::nullopt;
  std::string_view rest = parent->children;
  while (std::optional<Block> child = ReadBlock(rest)) {
    if (KeysMatch(child->key, key)) return child;
    const size_t next = Aligned(Word(rest, 0));
    if (next >= rest.size()) break;
    rest.remove_prefix(next);
  }
  return std::nullopt;
}

std::u16string StringTableKey(const std::optional<Block>& root) {
  const std::optional<Block> translation = Child(Child(root, u"VarFileInfo"), u"Translation");
  if (!translation || translation->value.size() < 4) return u"040904b0";
  char digits[9];
  std::snprintf(digits, sizeof digits, "%04x%04x", Word(translation->value, 0),
                Word(translation->value, 2));
  return std::u16string(digits, digits + 8);
}

}  // namespace

std::u16string VersionResourceString(std::string_view resource, std::u16string_view name) {
  const std::optional<Block> root = ReadBlock(resource);
  const std::optional<Block> value =
      Child(Child(Child(root, u"StringFileInfo"), StringTableKey(root)), name);
  if (!value) return u"";
  std::u16string text;
  for (size_t at = 0; at + 1 < value->value.size(); at += 2) {
    const char16_t c = Word(value->value, at);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace nox
