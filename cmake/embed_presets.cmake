# Writes OUTPUT, a C++ source that holds the presets of LIST (sim/presets/
# presets.list) and their machine files as byte arrays, in the list's order.
# Run by the build (cmake -P) whenever the list or a machine file changes.
# Bytes rather than string literals, so that no text of a file can end or
# escape a literal.

function(bytes_of_text text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "'\\\\x\\1'," bytes "${hex}")
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

get_filename_component(folder "${LIST}" DIRECTORY)
file(STRINGS "${LIST}" lines ENCODING UTF-8)
set(arrays "")
set(entries "")
set(index 0)
foreach(line IN LISTS lines)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(NOT line MATCHES "^([a-z0-9-]+) (.+)$")
    message(FATAL_ERROR "${LIST}: not a preset line: ${line}")
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(description "${CMAKE_MATCH_2}")
  set(file "${folder}/${name}.machine")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "${LIST}: no machine file ${file}")
  endif()
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "(..)" "'\\\\x\\1'," text "${hex}")
  bytes_of_text("${name}" nameBytes)
  bytes_of_text("${description}" descriptionBytes)
  string(APPEND arrays
    "const char kName${index}[] = {${nameBytes}'\\0'};\n"
    "const char kDescription${index}[] = {${descriptionBytes}'\\0'};\n"
    "const char kText${index}[] = {${text}'\\0'};\n")
  string(APPEND entries "    {kName${index}, kDescription${index}, kText${index}, sizeof kText${index} - 1},\n")
  math(EXPR index "${index} + 1")
endforeach()
if(index EQUAL 0)
  message(FATAL_ERROR "${LIST}: no presets")
endif()

string(CONCAT source "// Generated from ${LIST} by cmake/embed_presets.cmake.\n"
  "#include \"sim/embedded_presets.h\"\n\nnamespace {\n\n${arrays}\n} // namespace\n\n"
  "const EmbeddedPreset kEmbeddedPresets[] = {\n${entries}};\n"
  "const std::size_t kEmbeddedPresetCount = ${index};\n")
file(WRITE "${OUTPUT}" "${source}")
