# Third-party code, always from the machine's packages (see scripts/setup.sh).
set(OSTRANE_DEPS "$ENV{OSTRANE_DEPS}")
if(NOT OSTRANE_DEPS)
  set(OSTRANE_DEPS /var/lib/ostrane/deps)
endif()

if(WIN32)
  # The cross compiler must not see /usr/include: expose only the folders we need.
  set(_exposed ${CMAKE_BINARY_DIR}/exposed-include)
  file(MAKE_DIRECTORY ${_exposed})
  if(NOT EXISTS ${_exposed}/nlohmann)
    file(CREATE_LINK /usr/include/nlohmann ${_exposed}/nlohmann SYMBOLIC)
  endif()
  add_library(nlohmann_json INTERFACE)
  target_include_directories(nlohmann_json SYSTEM INTERFACE ${_exposed})
  add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)

  if(NOT EXISTS ${OSTRANE_DEPS}/tinyxml2/tinyxml2.cpp)
    message(FATAL_ERROR "tinyxml2 sources missing in ${OSTRANE_DEPS}/tinyxml2: run scripts/setup.sh")
  endif()
  add_library(tinyxml2 STATIC ${OSTRANE_DEPS}/tinyxml2/tinyxml2.cpp)
  target_include_directories(tinyxml2 SYSTEM PUBLIC ${OSTRANE_DEPS}/tinyxml2)
  # Made before our own options apply (cmake/OstraneTargets.cmake): it takes part in
  # the installer's link-time optimisation like our code.
  target_compile_options(tinyxml2 PRIVATE -ffunction-sections -fdata-sections -flto -ffat-lto-objects)
  add_library(tinyxml2::tinyxml2 ALIAS tinyxml2)

  # libz-mingw-w64-dev puts zlib.h in the cross compiler's own include folder; link
  # the static library so that the installer needs no zlib1.dll.
  set(_zlib /usr/i686-w64-mingw32/lib/libz.a)
  if(NOT EXISTS ${_zlib})
    message(FATAL_ERROR "${_zlib} missing: run scripts/setup.sh")
  endif()
  add_library(ZLIB::ZLIB STATIC IMPORTED)
  set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${_zlib})

  if(BUILD_TESTING)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
else()
  find_package(nlohmann_json 3.11 REQUIRED)
  find_package(tinyxml2 REQUIRED)
  find_package(OpenSSL REQUIRED)
  find_package(ZLIB REQUIRED)
  if(BUILD_TESTING)
    find_package(GTest REQUIRED)
  endif()
endif()
