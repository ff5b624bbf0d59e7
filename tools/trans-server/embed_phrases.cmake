# Turns the phrase lists into a C++ source: one byte array per list.
# Run with -DOUT=<file.cpp> -DLISTS=<a.tsv;b.tsv>; each list's name is its file name stem.
set(arrays "")
set(entries "")
foreach(tsv ${LISTS})
  get_filename_component(name ${tsv} NAME_WE)
  file(READ ${tsv} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char k_${name}[] = {${bytes} 0};\n")
  string(APPEND entries "      {\"${name}\", {reinterpret_cast<const char*>(k_${name}), ${size}}},\n")
endforeach()
file(WRITE ${OUT}.tmp "// Generated from tools/trans-server/phrases/*.tsv at build time. Do not edit.
#include \"tools/trans-server/phrasebook.h\"

namespace brevant::trans_server {

namespace {
${arrays}}  // namespace

std::vector<EmbeddedPhraseList> embedded_phrase_lists() {
  return {
${entries}  };
}

}  // namespace brevant::trans_server
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
