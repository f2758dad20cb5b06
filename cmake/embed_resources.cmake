# Turns text resources into byte arrays in one generated source file.
# Usage: cmake -DOUTPUT=file.cc "-DINPUTS=a.css|b.js" -P embed_resources.cmake
# Each input becomes `const PageResource <file name with _ for .>`; an input
# holding the marker @SID@ is split there into <name>_head and <name>_tail.

function(qv_bytes_of text out_var)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  # Line breaks every 24 bytes keep the generated file readable.
  string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){24})" "\\1\n  " bytes "${bytes}")
  set(${out_var} "${bytes}" PARENT_SCOPE)
endfunction()

function(qv_emit name text out_var)
  qv_bytes_of("${text}" bytes)
  string(LENGTH "${text}" size)
  set(${out_var} "${${out_var}}static const char ${name}_bytes[] = {\n  ${bytes}'\\0'};\nconst PageResource ${name} = {${name}_bytes, ${size}};\n\n" PARENT_SCOPE)
endfunction()

set(body "// Generated from the page resources; do not edit.\n#include \"page/page_resources.h\"\n\n")
string(REPLACE "|" ";" INPUTS "${INPUTS}")
foreach(input IN LISTS INPUTS)
  get_filename_component(file_name "${input}" NAME)
  string(REGEX REPLACE "[^A-Za-z0-9]" "_" name "${file_name}")
  file(READ "${input}" text)
  string(FIND "${text}" "@SID@" marker)
  if(marker EQUAL -1)
    qv_emit(${name} "${text}" body)
  else()
    string(SUBSTRING "${text}" 0 ${marker} head)
    math(EXPR tail_start "${marker} + 5")
    string(SUBSTRING "${text}" ${tail_start} -1 tail)
    qv_emit(${name}_head "${head}" body)
    qv_emit(${name}_tail "${tail}" body)
  endif()
endforeach()
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
