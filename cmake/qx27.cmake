# Project-wide compiler settings and the helpers the subsystem folders use.

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wconversion -Wno-sign-conversion)
endif()

if(WIN32)
  # Unicode Win32 API throughout; no min/max macros leaking into portable code.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  # The unchanged agent beside the stand-ins, for the harness and the
  # end-to-end tests; and the folder that stands in for the agent folder in
  # the host tests.
  set(QX27_HARNESS_DIR ${CMAKE_BINARY_DIR}/harness)
  set(QX27_HOST_TEST_FOLDER ${CMAKE_BINARY_DIR}/host-test)
endif()

# GoogleTest: Debian's libgtest-dev natively; for mingw, built from the sources
# Debian's googletest package installs.
if(WIN32)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(QX27_GTEST_LIBS gtest gmock)
  set(QX27_GTEST_MAIN gtest_main)
else()
  find_package(GTest REQUIRED)
  set(QX27_GTEST_LIBS GTest::gtest GTest::gmock)
  set(QX27_GTEST_MAIN GTest::gtest_main)
endif()
include(GoogleTest)

# qx27_add_test(NAME name SOURCES ... LIBS ...): a GoogleTest program. Natively
# each case is its own CTest test; under Wine one CTest test per program keeps
# the emulator start-ups few.
function(qx27_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} ${QX27_GTEST_LIBS} ${QX27_GTEST_MAIN})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# qx27_expose(target folder...): makes each folder of the source tree
# includable as "<folder without src/>/..." by the target and by whatever links
# it, and nothing else of the tree. Each target gets an include root of its own
# in the build folder holding links to its folders only, so a file sees the
# headers of what its target links and no others: a portable subsystem that
# includes a platform, sim or tests header fails to build.
function(qx27_expose target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(folder ${ARGN})
    string(REGEX REPLACE "^src/" "" name ${folder})
    get_filename_component(parent ${root}/${name} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# The version as C and resource-script macros: #include "qx27_version.h".
configure_file(${CMAKE_CURRENT_LIST_DIR}/qx27_version.h.in ${CMAKE_BINARY_DIR}/generated/qx27_version.h @ONLY)
add_library(qx27_version INTERFACE)
target_include_directories(qx27_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

if(WIN32)
  # Full debug information for the product; what ships is stripped after the
  # link and keeps it in a file apart (qx27_ship). GoogleTest, added above,
  # goes without.
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-g>)
  # Neither the binaries nor their symbols may depend on the folder the build
  # ran in: sources are named from the source root ("src/app/..."), and the
  # build folder, where every compiler runs, becomes ".". The last map that
  # fits a path wins, and the build folder may lie inside the source tree.
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>
                      $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>)
endif()

# qx27_ship(target): a program or DLL that goes to users. After each link it is
# stripped in place and its symbols are kept in <file>.debug beside it, named
# in it by a debug link (cmake/keep-symbols); `make package` puts those files
# in build/package/symbols.
function(qx27_ship target)
  if(NOT CMAKE_OBJCOPY)
    message(FATAL_ERROR "qx27_ship(${target}): no objcopy for this toolchain")
  endif()
  # The link's own time stamps (the export table's, the PE header's until the
  # strip sets that one from the commit) would differ from build to build.
  target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/keep-symbols)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/keep-symbols ${CMAKE_OBJCOPY} $<TARGET_FILE:${target}>
    COMMENT "Stripping ${target}, its symbols kept in $<TARGET_FILE_NAME:${target}>.debug"
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY QX27_SHIPPED_TARGETS ${target})
endfunction()
