# pravellon_embed_presets(LIST OUTPUT): writes OUTPUT, a C++ source that holds
# the presets of LIST (sim/presets/presets.list) and their machine files as
# byte arrays, in the list's order. Bytes rather than string literals, so that
# no text of a file can end or escape a literal. Done when CMake configures,
# which the build does again whenever the list or a machine file changes, so
# that the source exists for every tool that reads the compile commands.

function(bytes_of_text text out)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "'\\\\x\\1'," bytes "${hex}")
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()

function(pravellon_embed_presets LIST OUTPUT)
  get_filename_component(folder "${LIST}" DIRECTORY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${LIST}")
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
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
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

  string(CONCAT source "// Generated from sim/presets/ by cmake/embed_presets.cmake.\n"
    "#include \"sim/embedded_presets.h\"\n\nnamespace {\n\n${arrays}\n} // namespace\n\n"
    "const EmbeddedPreset kEmbeddedPresets[] = {\n${entries}};\n"
    "const std::size_t kEmbeddedPresetCount = ${index};\n")
  # Written only when it changes, so that a configure compiles nothing anew.
  # The text holds no '@' but in the bytes' escapes, none of them names.
  file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "${source}" @ONLY)
endfunction()
