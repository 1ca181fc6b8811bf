# Checks a built Windows program: an executable of the subsystem it is meant
# for (the dialog program a GUI one, kx9calib a console one) whose imports
# are only DLLs that Windows itself ships (no C++ runtime, libgcc or thread
# library DLLs beside it).
# cmake -DPROGRAM=<exe> -DOBJDUMP=<objdump> [-DCONSOLE=ON] -P check_program_imports.cmake
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "no program at ${PROGRAM}: build it first")
endif()
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}"
  OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()

set(shipped
  kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll winmm.dll dinput8.dll
  hid.dll msvcrt.dll ucrtbase.dll advapi32.dll shell32.dll ole32.dll setupapi.dll)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${PROGRAM}")
endif()
set(foreign "")
foreach(line ${lines})
  string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  list(FIND shipped "${lower}" known)
  if(known EQUAL -1 AND NOT lower MATCHES "^api-ms-win-crt-.*\\.dll$")
    list(APPEND foreign "${dll}")
  endif()
  message(STATUS "imports ${dll}")
endforeach()
if(foreign)
  message(FATAL_ERROR "imports DLLs Windows does not ship: ${foreign}")
endif()

if(CONSOLE)
  if(NOT dump MATCHES "Subsystem[ \t]+00000003")
    message(FATAL_ERROR "not a console-subsystem program")
  endif()
elseif(NOT dump MATCHES "Subsystem[ \t]+00000002")
  message(FATAL_ERROR "not a GUI-subsystem program")
endif()
