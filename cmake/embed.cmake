# Writes OUT, a C++ file with one zero-terminated char array per input file, so texts
# kept as files in the tree ship inside the program.
#   cmake -DOUT=x.cpp -DNAMES=a,b -DFILES=a.txt,b.txt -P embed.cmake
string(REPLACE "," ";" names "${NAMES}")
string(REPLACE "," ";" files "${FILES}")
set(text "// Generated from the files named below; edit those instead.\n")
foreach(name file IN ZIP_LISTS names files)
  file(READ ${file} hex HEX)
  get_filename_component(base ${file} NAME)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
    hex "${hex}")
  string(APPEND text "// ${base}\nextern const char ${name}[];\nconst char ${name}[] = {\n${hex}0};\n")
endforeach()
file(WRITE ${OUT}.tmp "${text}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
