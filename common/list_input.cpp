#include "common/list_input.h"

#include "common/runtime_error.h"
#include "platform/platform.h"

namespace nox {
namespace {

constexpr const char* kSource = "ListInput";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

ListInput ListInput::Open(const std::string& path) {
  std::string text;
  RaiseIfFileError(platform::ReadWholeFile(path, &text), kSource);
  return ListInput(std::move(text));
}

void ListInput::CheckReadable() const {
  if (!text_) Raise(kErrBadFileName, kSource);
  if (pos_ >= text_->size()) Raise(kErrInputPastEnd, kSource);
}

bool ListInput::AtLineEnd() const {
  return pos_ < text_->size() && ((*text_)[pos_] == '\r' || (*text_)[pos_] == '\n');
}

void ListInput::SkipLineEnd() {
  const std::string& text = *text_;
  if (pos_ < text.size() && text[pos_] == '\r') ++pos_;
  if (pos_ < text.size() && text[pos_] == '\n') ++pos_;
}

void ListInput::SkipToSeparator() {
  const std::string& text = *text_;
  while (pos_ < text.size() && text[pos_] != ',' && !AtLineEnd()) ++pos_;
  if (pos_ < text.size() && text[pos_] == ',') {
    ++pos_;
  } else {
    SkipLineEnd();
  }
}

std::string ListInput::ReadItem() {
  CheckReadable();
  const std::string& text = *text_;
  while (pos_ < text.size() && IsBlank(text[pos_])) ++pos_;
  std::string item;
  if (pos_ < text.size() && text[pos_] == '"') {
    const size_t close = text.find('"', pos_ + 1);
    const size_t end = close == std::string::npos ? text.size() : close;
    item = text.substr(pos_ + 1, end - pos_ - 1);
    pos_ = close == std::string::npos ? text.size() : close + 1;
  } else {
    const size_t start = pos_;
    while (pos_ < text.size() && text[pos_] != ',' && !AtLineEnd()) ++pos_;
    item = text.substr(start, pos_ - start);
    while (!item.empty() && IsBlank(item.back())) item.pop_back();
  }
  SkipToSeparator();
  return item;
}

std::string ListInput::ReadLine() {
  CheckReadable();
  const std::string& text = *text_;
  const size_t start = pos_;
  while (pos_ < text.size() && !AtLineEnd()) ++pos_;
  std::string line = text.substr(start, pos_ - start);
  SkipLineEnd();
  return line;
}

}  // namespace nox
