# quivane_debian_source(PACKAGE OLDEST OUT_VAR): Debian's source package,
# fetched into BUILD/PACKAGE at configure time by fetch-debian-source.sh (no
# older than OLDEST); OUT_VAR is set to its source tree. A tree swapped for an
# older one afterwards is refused again when configuring.
function(quivane_debian_source package oldest out_var)
  set(dest ${CMAKE_BINARY_DIR}/${package})
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/fetch-debian-source.sh ${package} ${dest} ${oldest}
    OUTPUT_VARIABLE source
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0 OR NOT EXISTS ${source}/debian/changelog)
    message(FATAL_ERROR "Could not fetch Debian's ${package} source package (fetch-debian-source.sh: ${fetch_result})")
  endif()
  file(READ ${dest}/version version)
  string(STRIP "${version}" version)
  message(STATUS "${package}: Debian source ${version}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source}/debian/changelog)
  set(${out_var} ${source} PARENT_SCOPE)
endfunction()
