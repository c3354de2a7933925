#include "tessel/line_join.h"

namespace tessel {

void LineJoiner::Append(const char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != '\n') {
      text_.push_back(bytes[i]);
      continue;
    }
    if (text_.size() > line_start_ && text_.back() == '\r') text_.pop_back();
    line_start_ = text_.size();
  }
}

}  // namespace tessel
