# Cross build for 32-bit Windows with Debian's mingw-w64, in the flavour whose
# C++ library has threads (std::thread, std::mutex), for the packager.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
