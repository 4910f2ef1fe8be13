# kormelt_add_listing(<listing> SOURCE <file> [DIALECT C|ASM])
#
# Adds the rule that writes <listing> from <file> with kormelt. A relative
# <listing> is under CMAKE_CURRENT_BINARY_DIR, a relative SOURCE under
# CMAKE_CURRENT_SOURCE_DIR. The dialect is ASM unless C is asked for. The
# rule runs again when the file or the tool changes; a failure of the tool
# fails the build with the tool's message. Add <listing> to a target's
# sources so that it is made before the target is compiled.
function(kormelt_add_listing listing)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SOURCE;DIALECT" "")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCE)
    message(FATAL_ERROR "usage: kormelt_add_listing(<listing> SOURCE <file> [DIALECT C|ASM])")
  endif()
  if(NOT arg_DIALECT OR arg_DIALECT STREQUAL "ASM")
    set(switch "")
  elseif(arg_DIALECT STREQUAL "C")
    set(switch "/C")
  else()
    message(FATAL_ERROR "kormelt_add_listing: DIALECT is C or ASM, not ${arg_DIALECT}")
  endif()

  cmake_path(ABSOLUTE_PATH listing BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
             NORMALIZE OUTPUT_VARIABLE output)
  cmake_path(ABSOLUTE_PATH arg_SOURCE BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
             NORMALIZE OUTPUT_VARIABLE input)
  cmake_path(GET output FILENAME name)

  # The listing is written under another name and renamed once complete, so
  # a failed run never leaves a listing that looks up to date.
  add_custom_command(
    OUTPUT "${output}"
    COMMAND kormelt::kormelt "${input}" "${output}.part" ${switch}
    COMMAND "${CMAKE_COMMAND}" -E rename "${output}.part" "${output}"
    DEPENDS "${input}" kormelt::kormelt
    COMMENT "Listing ${arg_SOURCE} as ${name}"
    VERBATIM)
endfunction()
