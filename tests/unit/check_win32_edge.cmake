# The Win32 edge rule, as a test: only files named *_win.cpp or *_win.h include the Windows headers or
# call a Win32 function (written ::Name, as the tree writes every such call), so that every other
# source compiles and runs natively. Also no ANSI (...A) Win32 call anywhere: text crosses the edge
# as UTF-16 only. The rule holds for the launcher (src/, the mingw-w64 process entries in src/app/
# included) and for the tools (tools/). Exempt is cmake/mingw/: the delay-load helper and the
# replacements of toolchain parts are mingw-w64 plumbing, compiled only into the launchers, with no
# logic of the launcher's own to test natively and no portable counterpart.
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/tools/*.cpp
     ${SOURCE_DIR}/tools/*.h)
set(violations "")
foreach(source IN LISTS sources)
  file(READ ${source} text)
  get_filename_component(name ${source} NAME)
  if(NOT name MATCHES "_win\\.(cpp|h)$")
    if(text MATCHES "#include <(windows|winbase|winnt|winreg|winsvc)\\.h>")
      list(APPEND violations "${source}: includes a Windows header")
    endif()
    if(text MATCHES "[^A-Za-z0-9_]::[A-Z][A-Za-z0-9]*[a-z][AW]?\\(")
      string(REGEX MATCH "[^A-Za-z0-9_]::[A-Z][A-Za-z0-9]*[a-z][AW]?\\(" call "${text}")
      list(APPEND violations "${source}: calls ${call}")
    endif()
  endif()
  string(REGEX MATCH "::[A-Z][A-Za-z0-9]*[a-z]A\\(" ansi_call "${text}")
  if(ansi_call)
    list(APPEND violations "${source}: ANSI call ${ansi_call}")
  endif()
endforeach()
if(violations)
  list(JOIN violations "\n" report)
  message(FATAL_ERROR "Win32 calls outside the edge:\n${report}")
endif()
