# cmake -DINPUT=file -DOUTPUT=source.cpp -DSYMBOL=name -P embed_file.cmake
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n"
  "extern const unsigned char ${SYMBOL}[] = {\n${bytes}};\n"
  "extern const std::size_t ${SYMBOL}_size = ${size};\n")
