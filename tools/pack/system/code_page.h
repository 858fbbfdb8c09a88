// Conversion of names between code pages: iconv on POSIX
// (code_page_posix.cpp), the code pages that Windows itself has on Windows
// (code_page_win32.cpp).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quillon::pack {

#ifdef _WIN32
// Names of files and arguments are in the ANSI code page of the machine.
constexpr const char* kLocalNames = "ACP";
constexpr const char* kConverterName = "Windows";
#else
constexpr const char* kLocalNames = "UTF-8";
constexpr const char* kConverterName = "iconv";
#endif

class Converter {
 public:
  // Code pages by name: "cp932", "windows-1252", ..., and kLocalNames.
  Converter(const std::string& to, const std::string& from);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Whether both code pages are known.
  [[nodiscard]] bool valid() const;

  struct Result {
    std::string text;
    int error = 0;    // EILSEQ (no such character), EINVAL (input ends within a character); 0 when done
    size_t done = 0;  // input bytes converted
  };

  // Converts input from the initial state.
  [[nodiscard]] Result Run(std::string_view input);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillon::pack
