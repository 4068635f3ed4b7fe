# Writes a C++ source defining, for each file of FILES (separated by '|'), a byte array named
# after NAMES (the same count, '|'-separated) and its size: `extern const unsigned char NAME[]`
# and `extern const unsigned NAME_size`, in namespace sorel.
string(REPLACE "|" ";" files "${FILES}")
string(REPLACE "|" ";" names "${NAMES}")
set(text "// Generated at build time from packaging files; do not edit.\nnamespace sorel {\n")
foreach(file name IN ZIP_LISTS files names)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND text "extern const unsigned char ${name}[];\nconst unsigned char ${name}[] = {${bytes}};\n"
                     "extern const unsigned ${name}_size;\nconst unsigned ${name}_size = ${size};\n")
endforeach()
string(APPEND text "}  // namespace sorel\n")
file(WRITE ${OUTPUT}.tmp "${text}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
