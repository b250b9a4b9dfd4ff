# Writes a C++ source that holds the bytes of INPUT as `const unsigned char SYMBOL[]` and
# `const size_t SYMBOLSize`.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "#include <cstddef>\nextern const unsigned char ${SYMBOL}[] = {\n${bytes}\n};\n"
     "extern const size_t ${SYMBOL}Size = ${size};\n")
