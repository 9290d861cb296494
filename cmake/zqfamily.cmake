# zq_add_family(NAME SOURCES ... [LIBS ...])
# One family of the library: an object library that zqplatutilu.dll takes
# whole and that the family's tests link to reach its internals. The family's
# folder may hold exports.txt, the names it promises to export.
function(zq_add_family name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} OBJECT ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_compile_definitions(${name} PUBLIC ZQPLATUTIL_BUILDING)
  target_link_libraries(${name} PUBLIC zq_log zq_common ${ARG_LIBS})
  set_property(GLOBAL APPEND PROPERTY ZQ_FAMILIES ${name})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/exports.txt)
    set_property(GLOBAL APPEND PROPERTY ZQ_EXPORT_LISTS ${CMAKE_CURRENT_SOURCE_DIR}/exports.txt)
  endif()
endfunction()
