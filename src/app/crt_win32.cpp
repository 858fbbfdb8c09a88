// The few C library routines that the stub's code and the compiler's own
// output need, in place of a C runtime. The stub links no runtime library, so
// its image stays small and loads on every Windows version.
#include <cstddef>

#include <windows.h>

extern "C" {

// String instructions: the decoder moves every 32 KiB of output through
// memcpy once, and on every x86 since the Pentium Pro "rep movs" runs at
// close to memory speed for blocks of that size.
void* memcpy(void* destination, const void* source, size_t count) {
  void* d = destination;
  size_t words = count / 4;
  size_t rest = count % 4;
  asm volatile("rep movsl" : "+D"(d), "+S"(source), "+c"(words) : : "memory");
  asm volatile("rep movsb" : "+D"(d), "+S"(source), "+c"(rest) : : "memory");
  return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  const auto* s = static_cast<const unsigned char*>(source);
  if (d < s) {
    while (count-- > 0) *d++ = *s++;
  } else {
    while (count-- > 0) d[count] = s[count];
  }
  return destination;
}

void* memset(void* destination, int value, size_t count) {
  void* d = destination;
  asm volatile("rep stosb" : "+D"(d), "+c"(count) : "a"(value) : "memory");
  return destination;
}

int memcmp(const void* left, const void* right, size_t count) {
  const auto* l = static_cast<const unsigned char*>(left);
  const auto* r = static_cast<const unsigned char*>(right);
  for (; count > 0; --count, ++l, ++r) {
    if (*l != *r) return *l < *r ? -1 : 1;
  }
  return 0;
}

size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

int strcmp(const char* left, const char* right) {
  while (*left != '\0' && *left == *right) ++left, ++right;
  return static_cast<unsigned char>(*left) - static_cast<unsigned char>(*right);
}

char* strchr(const char* text, int c) {
  for (;; ++text) {
    if (*text == static_cast<char>(c)) return const_cast<char*>(text);
    if (*text == '\0') return nullptr;
  }
}

// Called only through a damaged vtable.
void __cxa_pure_virtual() {
  ExitProcess(255);
}

}  // extern "C"
