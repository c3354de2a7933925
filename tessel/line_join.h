// The text GetURL delivers: the resource's lines joined without separator.
#pragma once

#include <cstddef>
#include <string>

namespace tessel {

// Takes a resource's bytes in pieces of any size and keeps its lines with
// their line ends ("\n" and a "\r" right before it) taken out.
class LineJoiner {
 public:
  void Append(const char* bytes, size_t size);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  size_t line_start_ = 0;  // where the current line began in text_
};

}  // namespace tessel
