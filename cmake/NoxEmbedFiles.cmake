# Writes a C++ source holding files as byte arrays, for PageFiles() of the
# header HEADER (noxadmin/serve/page.h). Run as a script:
#   cmake -DOUTPUT=file.cpp -DHEADER=dir/page.h -DFILES=a|b|c -P NoxEmbedFiles.cmake
string(REPLACE "|" ";" files "${FILES}")
set(arrays "")
set(entries "")
set(index 0)
foreach(path IN LISTS files)
  get_filename_component(name "${path}" NAME)
  get_filename_component(extension "${path}" LAST_EXT)
  set(type "application/octet-stream")
  if(extension STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(extension STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(extension STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(extension STREQUAL ".svg")
    set(type "image/svg+xml")
  endif()
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A trailing 0 keeps an empty file's array legal; it is not counted.
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}0};\n")
  string(APPEND entries
         "      {\"${name}\", \"${type}\", {reinterpret_cast<const char*>(kFile${index}), sizeof kFile${index} - 1}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
     "// Made by NoxEmbedFiles.cmake: the files PageFiles() serves.\n"
     "#include \"${HEADER}\"\n\n"
     "namespace nox::admin {\nnamespace {\n\n${arrays}\n}  // namespace\n\n"
     "const std::vector<PageFile>& PageFiles() {\n"
     "  static const std::vector<PageFile> files = {\n${entries}  };\n"
     "  return files;\n}\n\n}  // namespace nox::admin\n")
# Rewritten only when it changed, so nothing rebuilds for nothing.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
