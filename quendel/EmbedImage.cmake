# Writes OUTPUT, a C++ source holding the bytes of INPUT (a shared library) as the array behind
# vintrel::QuendelImage(). With STRIP set, the debug sections are stripped from a copy first.
if(NOT INPUT OR NOT OUTPUT)
  message(FATAL_ERROR "EmbedImage.cmake needs INPUT and OUTPUT")
endif()
set(source "${INPUT}")
if(STRIP)
  set(stripped "${OUTPUT}.so")
  execute_process(COMMAND "${STRIP}" --strip-debug -o "${stripped}" "${INPUT}" RESULT_VARIABLE rc)
  if(rc EQUAL 0)
    set(source "${stripped}")
  endif()
endif()
file(READ "${source}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# About 24 bytes a line.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from libQuendel.so by quendel/EmbedImage.cmake; do not edit.\n"
  "#include \"quendel/QuendelImage.h\"\n\n"
  "namespace vintrel {\n\n"
  "namespace {\n"
  "alignas(64) const unsigned char kImage[${size}] = {\n    ${bytes}\n};\n"
  "} // namespace\n\n"
  "std::span<const uint8_t> QuendelImage() { return {kImage, sizeof kImage}; }\n\n"
  "} // namespace vintrel\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
