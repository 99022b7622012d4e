# cmake -DEXECUTABLE=file.exe -DOBJDUMP=objdump -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
# Fails when the executable statically imports a DLL outside Windows' known-DLL list (the
# libraries the loader takes from the system folder whatever lies beside the program).
set(known_dlls advapi32.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll msvcrt.dll
  ole32.dll oleaut32.dll psapi.dll rpcrt4.dll setupapi.dll shell32.dll shlwapi.dll user32.dll
  ws2_32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXECUTABLE} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no import table found in ${EXECUTABLE}")
endif()
set(unknown "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST known_dlls)
    list(APPEND unknown ${dll})
  endif()
endforeach()
if(unknown)
  message(FATAL_ERROR "${EXECUTABLE} statically imports DLLs outside the known-DLL list: ${unknown}")
endif()
