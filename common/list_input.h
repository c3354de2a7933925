// Sequential reading of a text file, item by item or line by line.
//
// Items are separated by commas and line ends; blanks and tabs before an
// item are skipped, an unquoted item loses its trailing blanks and tabs, and
// an item that starts with a double quote runs to the next double quote
// (commas and blanks inside it kept), whatever follows the closing quote up
// to the next separator being dropped. An empty line is one empty item. A
// line end is CR LF, CR or LF. Reading at the end of the text raises
// "Input past end of file" (62).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nox {

class ListInput {
 public:
  // A reader with no file: every read raises "Bad file name or number" (52),
  // as reads from a file that failed to open do.
  ListInput() = default;
  explicit ListInput(std::string text) : text_(std::move(text)) {}

  // Reads the whole file at `path` through the platform. Raises the file
  // error of a failed open or read (53 for a missing file).
  static ListInput Open(const std::string& path);

  bool AtEnd() const { return !text_ || pos_ >= text_->size(); }

  // The next item.
  std::string ReadItem();
  // The rest of the current line, without its line end.
  std::string ReadLine();

 private:
  void CheckReadable() const;
  bool AtLineEnd() const;
  // Consumes a line end (CR LF, CR or LF) at the current position.
  void SkipLineEnd();
  // Consumes everything up to and including the next comma or line end.
  void SkipToSeparator();

  std::optional<std::string> text_;
  size_t pos_ = 0;
};

}  // namespace nox
