# cmake -DINPUT=FILE -DOUTPUT=FILE.cpp -DNAME=symbol -P embed.cmake: FILE's bytes as a C++ array
# NAME and its size NAME_size, so that a static program carries them.
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${bytes}")
file(WRITE ${OUTPUT} "#include <stddef.h>\nextern const unsigned char ${NAME}[] = {${array}0};\n"
     "extern const size_t ${NAME}_size = ${size};\n")
