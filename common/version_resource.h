// Reading a string of a version resource (the VS_VERSIONINFO block a
// resource compiler makes of a VERSIONINFO statement) without the system's
// version library, whose loading alone costs a program start more than the
// reading.
#pragma once

#include <string>
#include <string_view>

namespace nox {

// The value of \StringFileInfo\<table>\<name> in `resource`, up to its
// terminating zero: <table> is the first language and code page of
// \VarFileInfo\Translation as eight hexadecimal digits, "040904b0" when the
// block has none. Names compare as the system's lookup compares them,
// without regard to case. Empty when the block holds no such value; the
// block is read as data, and a length running past the bytes or the block
// around it ends the search.
std::u16string VersionResourceString(std::string_view resource, std::u16string_view name);

}  // namespace nox
