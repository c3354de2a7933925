#include "common/library_binder.h"

#include "common/runtime_error.h"
#include "platform/platform.h"

namespace nox {

void* BindLibraryExport(const std::string& library, const std::string& export_name,
                        const std::string& source) {
  if (void* address = platform::FindLibraryExport(library, export_name)) return address;
  if (!platform::LibraryLoads(library)) {
    Raise(kErrFileNotFound, source, "File not found: " + library);
  }
  Raise(kErrDllEntryPoint, source, "Can't find DLL entry point " + export_name + " in " + library);
}

}  // namespace nox
