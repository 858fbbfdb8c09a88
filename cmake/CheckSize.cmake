# Fails the build when the stub's image reaches into the package area.
file(SIZE "${FILE}" size)
math(EXPR margin "${LIMIT} - ${size}")
message(STATUS "setup-stub.exe: ${size} bytes (limit ${LIMIT}, ${margin} to spare)")
if(size GREATER_EQUAL LIMIT)
  message(FATAL_ERROR "setup-stub.exe is ${size} bytes; the package starts at ${LIMIT}")
endif()
