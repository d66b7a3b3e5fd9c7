# Writes OUTPUT, a C++ source that holds the bytes of INPUT as `const char NAME[]` (NUL-terminated) and
# their count as NAME_SIZE, for a file that a program serves. Run with cmake -P.
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
# Sixteen bytes a line (CMake's expressions know no counted repeats).
string(REPEAT "......," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// ${name} as bytes, made by cmake/EmbedFile.cmake when the program is built.\n"
  "#include \"${HEADER}\"\n\nconst char ${NAME}[] = {\n${bytes}0};\nconst std::size_t ${NAME}_SIZE = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
