#include "common/ansi_text.h"

namespace nox {
namespace {

char FoldedByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 'a' && byte <= 'z') return static_cast<char>(byte - 'a' + 'A');
  // Code page 1252: à..þ (except ÷) pair with À..Þ (except ×).
  if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return static_cast<char>(byte - 0x20);
  switch (byte) {
    case 0x9A:
      return static_cast<char>(0x8A);  // š Š
    case 0x9C:
      return static_cast<char>(0x8C);  // œ Œ
    case 0x9E:
      return static_cast<char>(0x8E);  // ž Ž
    case 0xFF:
      return static_cast<char>(0x9F);  // ÿ Ÿ
    default:
      return c;
  }
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string FoldCase(std::string_view ansi) {
  std::string folded(ansi);
  for (char& c : folded) c = FoldedByte(c);
  return folded;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldedByte(a[i]) != FoldedByte(b[i])) return false;
  }
  return true;
}

}  // namespace nox
