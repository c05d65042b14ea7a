# Running the Windows build's programs under Wine: ctest runs every test program
# through build-win/wine-run.sh (CMAKE_CROSSCOMPILING_EMULATOR). Included by the
# top-level CMakeLists.txt when cross-building for Windows, before any target.
set(FTPCALDORIA_WINEPREFIX "" CACHE PATH "Wine prefix for the tests (scripts/windows.sh keeps it in its cache)")
set(FTPCALDORIA_WINE_DLL_DIRS "" CACHE STRING "Further folders with DLLs the programs load (OpenSSL's bin)")
# Never on the DLL path above: a test decides which client library lies where.
set(FTPCALDORIA_WIN_FIREBIRD_DIR "" CACHE PATH "Firebird client libraries for Windows, x64/ and x86/ (scripts/windows.sh builds them)")
find_program(FTPC_WINE NAMES wine REQUIRED)
find_program(FTPC_HOST_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

# Folders whose DLLs the programs need: Qt's bin, and GCC's and MinGW's runtime.
get_filename_component(_ftpc_qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE _ftpc_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_ftpc_gcc_runtime "${_ftpc_libstdcxx}" DIRECTORY)
set(FTPCALDORIA_WIN_DLL_DIRS
  "${_ftpc_qt_prefix}/bin" "${_ftpc_gcc_runtime}" "/usr/x86_64-w64-mingw32/lib" ${FTPCALDORIA_WINE_DLL_DIRS}
  CACHE INTERNAL "Folders searched for the DLLs that Windows programs of this build load")

set(_ftpc_winepath "")
foreach(dir IN LISTS FTPCALDORIA_WIN_DLL_DIRS)
  string(REPLACE "/" "\\" dir "Z:${dir}")
  list(APPEND _ftpc_winepath "${dir}")
endforeach()
list(JOIN _ftpc_winepath ";" FTPC_WINEPATH)

set(FTPC_WINEPREFIX "${FTPCALDORIA_WINEPREFIX}")
if(NOT FTPC_WINEPREFIX)
  set(FTPC_WINEPREFIX "$ENV{HOME}/.wine")
endif()
set(FTPC_WINE_FONTDIR "Z:\\usr\\share\\fonts\\truetype\\dejavu")
set(FTPC_PYTHON "${FTPC_HOST_PYTHON}")
set(FTPC_HOST_RUNNER "${PROJECT_SOURCE_DIR}/tests/fixtures/host_runner.py")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

# ftpc_wine_gtest_filter(<out-var> <regex> <source>...)
#
# The GoogleTest names (Suite.Name, joined by ":") of the tests in these sources
# that use what regex matches, directly or through a helper of the same source
# (a fixture's member function, say): what a Wine run leaves out, as
# --gtest_filter=-<out>. Found by reading the sources, so renamed or added tests
# follow by themselves.
function(ftpc_wine_gtest_filter out regex)
  set(names "")
  foreach(source IN LISTS ARGN)
    if(NOT IS_ABSOLUTE "${source}")
      set(source "${CMAKE_CURRENT_SOURCE_DIR}/${source}")
    endif()
    file(READ "${source}" text)
    string(REPLACE ";" " " text "${text}") # no list separators in what is matched
    # Helpers whose body uses it: the function header nearest before each use.
    set(uses "${regex}")
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\([^()]*\\)[ \t\n]*(const)?[ \t\n]*(override)?[ \t\n]*{[^{}]*(${regex})" found "${text}")
    foreach(hit IN LISTS found)
      string(REGEX MATCH "^[A-Za-z_][A-Za-z0-9_]*" helper "${hit}")
      if(helper AND NOT helper MATCHES "^(TEST|TEST_F|if|for|while|switch)$")
        string(APPEND uses "|[^A-Za-z0-9_]${helper}\\(")
      endif()
    endforeach()
    string(REGEX MATCHALL "\nTEST(_F)?\\([A-Za-z0-9_]+, *[A-Za-z0-9_]+\\)" heads "${text}")
    set(starts "")
    foreach(head IN LISTS heads)
      string(FIND "${text}" "${head}" at)
      list(APPEND starts ${at})
    endforeach()
    string(LENGTH "${text}" end)
    list(APPEND starts ${end})
    list(LENGTH heads count)
    set(i 0)
    while(i LESS count)
      list(GET heads ${i} head)
      list(GET starts ${i} from)
      math(EXPR next "${i} + 1")
      list(GET starts ${next} to)
      math(EXPR length "${to} - ${from}")
      string(SUBSTRING "${text}" ${from} ${length} body)
      if(body MATCHES "${uses}")
        string(REGEX REPLACE "^\nTEST(_F)?\\(([A-Za-z0-9_]+), *([A-Za-z0-9_]+)\\)$" "\\2.\\3" name "${head}")
        list(APPEND names "${name}")
      endif()
      set(i ${next})
    endwhile()
  endforeach()
  list(JOIN names ":" joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()
