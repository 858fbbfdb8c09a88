#include <iconv.h>

#include <cerrno>

#include "system/code_page.h"

namespace quillon::pack {

namespace {

// A Windows code page by its number, "1252", is iconv's "CP1252".
std::string IconvName(const std::string& name) {
  const bool number = !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
  return number ? "CP" + name : name;
}

}  // namespace

struct Converter::State {
  iconv_t handle;
};

Converter::Converter(const std::string& to, const std::string& from)
    : state_(std::make_unique<State>(State{iconv_open(IconvName(to).c_str(), IconvName(from).c_str())})) {}

Converter::~Converter() {
  if (valid()) iconv_close(state_->handle);
}

bool Converter::valid() const {
  return state_->handle != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr): iconv_open's failure
}

Converter::Result Converter::Run(std::string_view input) {
  std::string in(input);
  std::string out(input.size() * 4 + 16, '\0');  // room for any character of any code page
  char* inNext = in.data();
  size_t inLeft = in.size();
  char* outNext = out.data();
  size_t outLeft = out.size();
  Result result;
  iconv(state_->handle, nullptr, nullptr, nullptr, nullptr);
  if (iconv(state_->handle, &inNext, &inLeft, &outNext, &outLeft) == static_cast<size_t>(-1)) result.error = errno;
  result.done = in.size() - inLeft;
  out.resize(out.size() - outLeft);
  result.text = std::move(out);
  return result;
}

}  // namespace quillon::pack
