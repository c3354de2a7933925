// The files of the administration page, compiled into noxadmin from the
// folder page.
#pragma once

#include <string_view>
#include <vector>

namespace nox::admin {

struct PageFile {
  std::string_view name;  // "index.html"
  std::string_view content_type;
  std::string_view content;
};

const std::vector<PageFile>& PageFiles();

}  // namespace nox::admin
