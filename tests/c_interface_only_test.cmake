# The check of cmake/c_interface_only.cmake, on a small project of its own: a
# program on the list configures while it links the header and outside
# libraries only, and each way of reaching past the header stops the
# configuration with a message that names the program and what it reached.
#
# cmake -DQUILLOR_SOURCE_DIR=... -DWORK_DIR=... -P c_interface_only_test.cmake
cmake_minimum_required(VERSION 3.25)

set(fixture ${WORK_DIR}/fixture)
file(REMOVE_RECURSE ${WORK_DIR})
file(WRITE ${fixture}/CMakeLists.txt [=[
cmake_minimum_required(VERSION 3.25)
project(fixture LANGUAGES C)
include(${QUILLOR_SOURCE_DIR}/cmake/c_interface_only.cmake)
add_library(quillor_c_interface INTERFACE)
add_library(layer STATIC layer/layer.c)
add_library(fixture::layer ALIAS layer)
add_library(outside::package INTERFACE IMPORTED)
add_subdirectory(host)
quillor_check_c_interface_only()
]=])
file(WRITE ${fixture}/layer/layer.c "int layer(void) { return 1; }\n")
file(WRITE ${fixture}/host/main.c "int main(void) { return 0; }\n")
file(WRITE ${fixture}/host/CMakeLists.txt [=[
add_executable(host main.c)
target_include_directories(host PRIVATE ${CMAKE_BINARY_DIR}/include/host)
target_link_libraries(host PRIVATE quillor_c_interface outside::package m)
quillor_c_interface_only(host host)
if(CASE STREQUAL "layer")
  target_link_libraries(host PRIVATE layer)
elseif(CASE STREQUAL "alias")
  target_link_libraries(host PRIVATE fixture::layer)
elseif(CASE STREQUAL "interface")
  set_property(TARGET host APPEND PROPERTY INTERFACE_LINK_LIBRARIES $<LINK_ONLY:layer>)
elseif(CASE STREQUAL "file")
  target_link_libraries(host PRIVATE ${CMAKE_BINARY_DIR}/liblayer.a)
elseif(CASE STREQUAL "include")
  target_include_directories(host PRIVATE ${CMAKE_SOURCE_DIR})
elseif(CASE STREQUAL "source")
  target_sources(host PRIVATE ../layer/layer.c)
endif()
]=])

# case, then the words its configuration must stop with ("" for none).
set(cases
  "allowed|"
  "layer|host reaches the component through include/quillor/quillor.h alone.*links layer, a library of this build"
  "alias|links layer, a library of this build"
  "interface|links layer, a library of this build"
  "file|links .*/liblayer.a, a file of this build"
  "include|includes from .*/fixture"
  "source|builds .*/fixture/layer/layer.c, from outside host/")

set(failed)
foreach(entry IN LISTS cases)
  string(FIND "${entry}" "|" bar)
  string(SUBSTRING "${entry}" 0 ${bar} case)
  math(EXPR after "${bar} + 1")
  string(SUBSTRING "${entry}" ${after} -1 expected)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${fixture} -B ${WORK_DIR}/build-${case}
            -DQUILLOR_SOURCE_DIR=${QUILLOR_SOURCE_DIR} -DCASE=${case}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # CMake wraps a long message: its words are compared with the lines joined.
  string(REGEX REPLACE "\n +" " " words "${err}")
  if(expected STREQUAL "")
    if(NOT status EQUAL 0)
      list(APPEND failed "${case}: the configuration stopped: ${err}")
    endif()
  elseif(status EQUAL 0)
    list(APPEND failed "${case}: the configuration went through")
  elseif(NOT words MATCHES "${expected}")
    list(APPEND failed "${case}: stopped without \"${expected}\": ${err}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
if(failed)
  list(JOIN failed "\n" report)
  message(FATAL_ERROR "${report}")
endif()
