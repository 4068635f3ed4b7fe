# Writes a C++ source defining sorel::kOpaqueVisualsText as the text of INPUT, every byte
# escaped so that any encoding survives the compiler.
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
file(WRITE ${OUTPUT}.tmp
  "// Generated from opaque_visuals.txt at build time; do not edit.\n"
  "namespace sorel {\nextern const char kOpaqueVisualsText[];\n"
  "const char kOpaqueVisualsText[] = \"${escaped}\";\n}\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
