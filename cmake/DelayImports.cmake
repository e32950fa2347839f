# Delay-load import libraries for the Windows DLLs that are not known system DLLs.
# A program resolves its ordinary imports when it starts, before any code of ours
# runs, and Windows looks for them in the program's own folder first: a DLL planted
# in a Downloads folder beside the installer would be loaded. Delay-loaded DLLs are
# loaded at first use, after main has restricted the search to the system folder.
#
#   ostrane_delay_import_library(<var> <name>)  sets <var> to the delay-load library
#                                              for the system's <name>.dll
#
# Call these DLLs' functions directly, never through the import attribute: the import
# table entries of these libraries stay empty until a direct call's stub fills them
# (see download/download_wininet.cpp).
find_program(OSTRANE_NM NAMES i686-w64-mingw32-nm REQUIRED)
find_program(OSTRANE_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)

function(ostrane_delay_import_library var name)
  set(folder ${CMAKE_BINARY_DIR}/delayimp)
  set(library ${folder}/lib${name}_delay.a)
  if(NOT EXISTS ${library})
    file(MAKE_DIRECTORY ${folder})
    # The functions the toolchain's import library knows, as "Name@bytes".
    find_library(import_${name} NAMES ${name} REQUIRED NO_CACHE)
    execute_process(COMMAND ${OSTRANE_NM} ${import_${name}} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "__imp__[A-Za-z0-9_]+@[0-9]+" imports "${symbols}")
    list(REMOVE_DUPLICATES imports)
    list(TRANSFORM imports REPLACE "^__imp__" "")
    list(JOIN imports "\n" exports)
    file(WRITE ${folder}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    # -k: the DLL exports the names without their "@bytes". Relative names: dlltool
    # builds symbol names from the output path, which must not carry the build folder.
    execute_process(COMMAND ${OSTRANE_DLLTOOL} -k -d ${name}.def -y lib${name}_delay.a
                    WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(${var} ${library} PARENT_SCOPE)
endfunction()
