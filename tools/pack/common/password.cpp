#include "common/password.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/file_io.h"
#include "system/system.h"

namespace quillon::pack {

namespace {

void DropLineEnd(std::string& text) {
  if (text.ends_with('\n')) text.pop_back();
  if (text.ends_with('\r')) text.pop_back();
}

// Standard input up to its first line end or its end.
std::string ReadLine() {
  std::string line;
  while (static_cast<int64_t>(line.size()) <= kMaxPasswordFileSize) {
    char c = 0;
    const int n = ReadStandardInput(c);
    if (n < 0) throw PackError(std::string("cannot read the password from standard input: ") + std::strerror(errno));
    if (n == 0 || c == '\n') break;
    line += c;
  }
  DropLineEnd(line);
  return line;
}

// Asks on the terminal with the echo off, so that nobody reads over the
// user's shoulder.
std::string AskOnTerminal(const char* prompt) {
  std::string line;
  {
    const HiddenInput hidden;
    (void)std::fputs(prompt, stderr);
    (void)std::fflush(stderr);
    line = ReadLine();
  }
  (void)std::fputc('\n', stderr);
  return line;
}

std::string ReadFromStdin(bool confirm) {
  if (!StandardInputIsTerminal()) return ReadLine();
  std::string password = AskOnTerminal("Password: ");
  if (confirm && !password.empty() && AskOnTerminal("Password again: ") != password) {
    throw PackError("the two passwords typed differ");
  }
  return password;
}

void CheckPassword(const std::string& password, const std::string& origin) {
  if (password.empty()) throw PackError("the password " + origin + " is empty");
  if (password.size() > kMaxPasswordLength) {
    throw PackError("the password " + origin + " is " + std::to_string(password.size()) +
                    " bytes long; the installer's password box takes at most " + std::to_string(kMaxPasswordLength));
  }
  for (const char c : password) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n' || c == '\r') throw PackError("the password " + origin + " is more than one line");
    if (byte < 0x20 || byte == 0x7F) {
      throw PackError("the password " + origin +
                      " contains a control character, which nobody can type into the installer's password box");
    }
  }
}

}  // namespace

bool SetPasswordOption(PasswordOption& option, const std::string& flag, const std::string& value) {
  if (flag != "--password" && flag != "--password-file" && flag != "--password-stdin") return false;
  if (option.given()) throw UsageError(flag + ": the password is already given");
  if (flag == "--password") {
    option.text = value;
  } else if (flag == "--password-file") {
    if (value.empty()) throw UsageError("--password-file needs a file");
    option.file = value;
  } else {
    option.fromStdin = true;
  }
  return true;
}

std::string LoadPassword(const PasswordOption& option, bool confirm, const NameEncoding* codePage) {
  std::string password;
  std::string origin;
  if (option.text) {
    password = *option.text;
    origin = "given with --password";
  } else if (option.file) {
    const Bytes bytes = ReadWholeFile(*option.file, kMaxPasswordFileSize, "password file", Pipes::ReadToEnd);
    password.assign(bytes.begin(), bytes.end());
    DropLineEnd(password);
    origin = "in " + Quote(option.file->string());
  } else {
    password = ReadFromStdin(confirm);
    origin = "read from standard input";
  }
  if (codePage != nullptr) password = codePage->ConvertText(password, "the password " + origin, false);
  CheckPassword(password, origin);
  return password;
}

void WarnAboutPassword(const std::string& password) {
  for (const char c : password) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      Warn(
          "the password has bytes outside ASCII; the installer compares the bytes of what the user types in the "
          "ANSI code page of the target machine, so they must be that code page's (write them so in a password "
          "file)");
      return;
    }
  }
}

}  // namespace quillon::pack
