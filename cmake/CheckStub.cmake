# Fails the build when the stub's image reaches into the package area, or when
# it imports from more than kernel32 and user32: every other library (the
# security functions of advapi32 among them) is looked up at run time, so the
# image loads on every Windows version, also where such a library is missing.
file(SIZE "${FILE}" size)
math(EXPR margin "${LIMIT} - ${size}")
message(STATUS "setup-stub.exe: ${size} bytes (limit ${LIMIT}, ${margin} to spare)")
if(size GREATER_EQUAL LIMIT)
  message(FATAL_ERROR "setup-stub.exe is ${size} bytes; the package starts at ${LIMIT}")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the imports of ${FILE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
string(TOUPPER "${names}" names)
if(NOT names STREQUAL "DLL NAME: KERNEL32.DLL;DLL NAME: USER32.DLL")
  message(FATAL_ERROR "setup-stub.exe must import from KERNEL32.dll and USER32.dll only; it imports: ${names}")
endif()
