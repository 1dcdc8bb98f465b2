# Makes a delay-import library for one system DLL from the toolchain's ordinary import library, so that
# every function the DLL exports can be imported on first use without keeping a list of our own.
# Run with cmake -P and: NM, DLLTOOL, OBJCOPY, IMPORT_LIBRARY, DLL (file name), OUTPUT, and X86 (ON for
# i686, whose import symbols carry a leading underscore and an @N stack size).
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIBRARY} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]+ I __imp_[^\n]+" lines "${symbols}")
set(exports "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE ".* I __imp_" "" name "${line}")
  if(X86)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  list(APPEND exports "${name}")
endforeach()
list(REMOVE_DUPLICATES exports)
list(SORT exports)
list(JOIN exports "\n" body)
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
get_filename_component(stem ${OUTPUT} NAME_WE)
set(def_file ${out_dir}/${stem}.def)
file(WRITE ${def_file} "LIBRARY ${DLL}\nEXPORTS\n${body}\n")
set(machine_flags "")
if(X86)
  set(machine_flags -k -m i386 --as-flags=--32)
endif()
execute_process(COMMAND ${DLLTOOL} ${machine_flags} -d ${def_file} -y ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
# The launchers are built without unwind tables (nothing is thrown through them); the stubs' unwind
# entries alone would give each launcher two sections of 512 bytes for 100 bytes of tables.
execute_process(COMMAND ${OBJCOPY} --remove-section=.pdata --remove-section=.xdata ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
