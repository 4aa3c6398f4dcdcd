# Writes a C++ source that holds files as byte arrays, for a program that
# serves them from memory: cmake -DOUTPUT=file.cpp -DBASE=dir -DFILES=a,b
# -DHEADER=include/path.h -DNAMESPACE=ns -P EmbedFiles.cmake. Each file is
# named by its path under BASE.
string(REPLACE "," ";" FILES "${FILES}")
set(body "")
set(table "")
set(index 0)
foreach(name IN LISTS FILES)
  file(READ "${BASE}/${name}" bytes HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
  string(APPEND body "const unsigned char kFile${index}[] = {${bytes}};\n")
  string(APPEND table "        {\"${name}\", std::string_view(reinterpret_cast<const char *>(kFile${index}), sizeof kFile${index})},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from the files under ${BASE}; do not edit.
#include \"${HEADER}\"

namespace ${NAMESPACE} {
namespace {
${body}} // namespace

const std::vector<EmbeddedFile> &embeddedFiles() {
    static const std::vector<EmbeddedFile> files = {
${table}    };
    return files;
}

} // namespace ${NAMESPACE}
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
