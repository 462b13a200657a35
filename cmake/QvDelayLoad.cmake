# Delay-import libraries for the system DLLs that are not among Windows'
# known DLLs (gdiplus.dll, wininet.dll). A program that imports such a DLL
# statically has it, and every DLL it loads by name, looked up in the
# program's own folder first, before any of the program's code runs; an
# elevated uninstaller in a folder that others may write would run a planted
# copy. Imported through one of these libraries, the DLL is loaded when its
# first function is called, by the framework's hook (base/QvDelayLoad.cpp),
# from the system folder and after the program has limited the search.
#
# qv_delay_import_library(NAME DLL OUT_VAR): writes libqvdelay_NAME.a from
# the toolchain's own import library libNAME.a and sets OUT_VAR to its path.

function(qv_delay_import_library name dll out_var)
  set(implib /usr/${QV_TRIPLE}/lib/lib${name}.a)
  if(NOT EXISTS ${implib})
    message(FATAL_ERROR "${implib} not found: install mingw-w64")
  endif()
  set(dir ${CMAKE_BINARY_DIR}/delayimp)
  set(def ${dir}/${name}.def)
  set(lib ${dir}/libqvdelay_${name}.a)
  set(${out_var} ${lib} PARENT_SCOPE)
  if(EXISTS ${lib} AND ${lib} IS_NEWER_THAN ${implib})
    return()
  endif()
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND ${QV_TRIPLE}-nm -g --defined-only ${implib}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc ERROR_QUIET)
  if(rc)
    message(FATAL_ERROR "${QV_TRIPLE}-nm could not read ${implib}")
  endif()
  # i686 symbols carry a leading underscore and stdcall's "@bytes": the
  # .def names keep the "@bytes" and --kill-at takes it off the DLL's side.
  if(QV_TRIPLE MATCHES "^i686")
    set(prefix "__imp__")
    set(kill_at --kill-at)
  else()
    set(prefix "__imp_")
    set(kill_at)
  endif()
  string(REGEX MATCHALL "${prefix}[^ \t\r\n]+" imports "${symbols}")
  list(REMOVE_DUPLICATES imports)
  set(text "LIBRARY ${dll}\nEXPORTS\n")
  foreach(symbol ${imports})
    string(LENGTH "${prefix}" skip)
    string(SUBSTRING "${symbol}" ${skip} -1 export)
    string(APPEND text "${export}\n")
  endforeach()
  file(WRITE ${def} "${text}")
  execute_process(COMMAND ${QV_TRIPLE}-dlltool ${kill_at} --input-def ${def}
                          --output-delaylib ${lib}
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(rc)
    message(FATAL_ERROR "${QV_TRIPLE}-dlltool could not write ${lib}: ${err}")
  endif()
endfunction()
