// Binding a library export by name at its first call, as the programs'
// declared library functions are bound.
//
// Nothing is looked up when the program starts, so a program that never
// calls an export runs without the library. The first call loads the
// library and looks the export up; later calls go straight to it. A missing
// library or export raises a run-time error in the calling routine:
// 53 "File not found: <library>" or 453 "Can't find DLL entry point <name>
// in <library>". A failed binding is tried again at the next call.
#pragma once

#include <string>
#include <utility>

namespace nox {

// The export's address; raises 53 or 453 (with `source`) when missing.
void* BindLibraryExport(const std::string& library, const std::string& export_name,
                        const std::string& source = "");

// One export of one library. `Function` is the export's pointer type, for
// example int32_t(NOX_STDCALL*)(const char*).
template <typename Function>
class LibraryExport {
 public:
  LibraryExport(std::string library, std::string export_name, std::string source = "")
      : library_(std::move(library)),
        export_name_(std::move(export_name)),
        source_(std::move(source)) {}

  // Binds the export if it is not bound yet and calls it.
  template <typename... Args>
  auto operator()(Args&&... args) {
    return Bind()(std::forward<Args>(args)...);
  }

  // The bound export; raises 53 or 453 when it cannot be bound.
  Function Bind() {
    if (function_ == nullptr) {
      function_ = reinterpret_cast<Function>(BindLibraryExport(library_, export_name_, source_));
    }
    return function_;
  }

  bool bound() const { return function_ != nullptr; }

 private:
  std::string library_;
  std::string export_name_;
  std::string source_;
  Function function_ = nullptr;
};

}  // namespace nox
