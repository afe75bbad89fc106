# The modules that need no Windows, found by preprocessing every source of src/ with the host
# compiler, and the generated constants header with the test configuration's values. Shared by the
# sanitizer build (tests/native) and the fuzz targets (tests/fuzz). Sets ZANDOR_ROOT,
# ZANDOR_PORTABLE_SOURCES and ZANDOR_GENERATED_DIR.
get_filename_component(ZANDOR_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(ZANDOR_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

include(${ZANDOR_ROOT}/tests/test_config.cmake)
include(${ZANDOR_ROOT}/cmake/keys.cmake)
foreach(var ZANDOR_RELEASE_KEYS ZANDOR_LINK_KEYS)
  if(NOT DEFINED ${var})
    set(${var} "")
  endif()
endforeach()
zandor_key_list(ZANDOR_RELEASE_KEYS "${ZANDOR_RELEASE_KEYS}" 3 ZANDOR_RELEASE_KEY_INIT ZANDOR_RELEASE_KEY_COUNT)
zandor_key_list(ZANDOR_LINK_KEYS "${ZANDOR_LINK_KEYS}" 16 ZANDOR_LINK_KEY_INIT ZANDOR_LINK_KEY_COUNT)
configure_file(${ZANDOR_ROOT}/src/core/build_config.h.in ${ZANDOR_GENERATED_DIR}/build_config.h @ONLY)

# A module is portable when the host compiler can preprocess it: any Windows header on its way in,
# directly or through another header, makes that fail.
file(GLOB all_sources ${ZANDOR_ROOT}/src/*/*.cpp)
set(ZANDOR_PORTABLE_SOURCES "")
foreach(src IN LISTS all_sources)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -E -o /dev/null -I${ZANDOR_ROOT}/src
                          -I${ZANDOR_GENERATED_DIR} ${src}
                  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
  if(NOT failed)
    list(APPEND ZANDOR_PORTABLE_SOURCES ${src})
  endif()
endforeach()
