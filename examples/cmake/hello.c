/* The sample program of Quillon's CMake example. */
#include <stdio.h>

int main(void) {
  puts("Hello from the Quillon CMake example!");
  return 0;
}
