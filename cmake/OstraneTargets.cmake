# Helpers for the two builds.
#
#   ostrane_native_test(NAME SOURCES...)      portable unit tests (native build only)
#   ostrane_wine_test(NAME SOURCES... [RESOURCE_LOCK lock] [LIBS libs] [RC rc-files])
#                                             Windows tests run under Wine through the emulator

if(NOT WIN32 AND OSTRANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
if(NOT WIN32 AND OSTRANE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(NOT WIN32 AND OSTRANE_FUZZ)
  # Coverage for libFuzzer everywhere; only the fuzz targets link its main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_compile_options(-Wall -Wextra -Os -ffunction-sections -fdata-sections)
  # Objects hold both machine code and the compiler's intermediate form. The installers
  # link with link-time optimisation (ostrane_installer): ld keeps every function that
  # an object's unwind table names, so only the compiler can drop the unused ones.
  # Tests and tools link the machine code as before, which keeps their links quick.
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-flto;-ffat-lto-objects>")
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -fno-lto)
else()
  add_compile_options(-Wall -Wextra)
endif()

if(WIN32)
  # Reproducible: one commit gives the same bytes in any folder on any day.
  # Paths the compiler writes (__FILE__, debug info) get fixed names; the build
  # folder's map comes last so that it wins for the files inside it.
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${OSTRANE_DEPS}=/ostrane-deps>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/ostrane>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=/ostrane-build>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-Werror=date-time>")
  # The PE header's time stamp: SOURCE_DATE_EPOCH as it was at configure time,
  # else none. ld reads the variable when it links, so the link rule carries it:
  # a new value relinks.
  set(OSTRANE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
  if(OSTRANE_SOURCE_DATE_EPOCH STREQUAL "")
    add_link_options(-Wl,--no-insert-timestamp)
  elseif(OSTRANE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(_stamp ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${OSTRANE_SOURCE_DATE_EPOCH})
    set(CMAKE_C_LINKER_LAUNCHER ${_stamp})
    set(CMAKE_CXX_LINKER_LAUNCHER ${_stamp})
    add_link_options(-Wl,--insert-timestamp)
  else()
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, not '${OSTRANE_SOURCE_DATE_EPOCH}'")
  endif()
endif()

include(GoogleTest)

function(ostrane_native_test name)
  if(WIN32 OR NOT BUILD_TESTING)
    return()
  endif()
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ostrane_core ostrane_native_platform GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES LABELS native)
endfunction()

# ostrane_kit_test(NAME TIMEOUT COMMAND [ENVIRONMENT [FLAGS]]): a line of the Windows
# test kit's tests.txt (tools/kit/kit_run.cpp reads it).
function(ostrane_kit_test name timeout command)
  # ARGVn beyond ARGC would be the caller's: a function sees its caller's variables.
  set(environment "")
  set(flags "")
  if(ARGC GREATER 3)
    set(environment "${ARGV3}")
  endif()
  if(ARGC GREATER 4)
    set(flags "${ARGV4}")
  endif()
  set_property(GLOBAL APPEND_STRING PROPERTY OSTRANE_KIT_LINES "${name}\t${timeout}\t${command}\t${environment}\t${flags}\n")
endfunction()

function(ostrane_wine_test name)
  if(NOT WIN32 OR NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "" "RESOURCE_LOCK;TIMEOUT" "SOURCES;LIBS;RC" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_RC})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock ostrane_test_main)
  if(ostrane_win IN_LIST T_LIBS)
    # A test program is built as the installer is: with its compiled-in options.
    target_link_libraries(${name} PRIVATE ostrane_build_options)
  endif()
  target_link_options(${name} PRIVATE -mconsole)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # The Windows test kit runs it too (tools/kit).
  ostrane_kit_test(${name} ${T_TIMEOUT} "\"%KIT%\\files\\$<TARGET_FILE_NAME:${name}>\"")
  set_property(GLOBAL APPEND PROPERTY OSTRANE_KIT_PROGRAMS ${name})
  set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT ${T_TIMEOUT})
  if(T_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
endfunction()
