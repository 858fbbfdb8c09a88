// The floor for the installer's file work: a plain Win32 program that does
// for the same entries only the calls no installer can do without, so that
// the stub's install and clean-up can be timed against it side by side.
//
//   install_floor.exe MANIFEST DATA DIRECTORY
//
// MANIFEST has one line per entry, in package order: "SIZE DOSDATE DOSTIME
// NAME" (NAME relative, "\" or "/" separated, a trailing separator for a
// directory entry). DATA holds the entries' bytes, already decoded, one after
// the other. The window looks to the GUI driver like the installer's: caption
// "Install Floor", "&Install" (1), "&Close" (2) and the status text (3002).
//
// "&Install": per directory one CreateDirectoryA, the first time a file needs
// it; per file CreateFileA (CREATE_NEW), WriteFile in pieces of 32 KiB as read
// from DATA, SetFileTime, CloseHandle, the status text and one message let
// through. Then the installer's closing text and "&Finish". "&Finish": per file
// DeleteFileA, the status text and one message; the directories deepest
// first; the program ends.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kInstall = 1;
constexpr int kClose = 2;
constexpr int kStatus = 3002;
constexpr DWORD kPiece = 32768;
constexpr char kBreak4[] = "\r\n\r\n\r\n\r\n";

struct Entry {
  DWORD size = 0;
  WORD date = 0;
  WORD time = 0;
  std::string name;
};

struct Floor {
  std::vector<Entry> entries;
  HANDLE data = INVALID_HANDLE_VALUE;
  std::string directory;
  std::vector<std::string> files;        // created, in order
  std::vector<std::string> directories;  // created, parents first
  std::set<std::string> made;            // folded, so that each is made once
  std::vector<char> buffer = std::vector<char>(kPiece);
  bool installed = false;
};

Floor floor;

std::string Fold(std::string text) {
  CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool ReadManifest(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  char line[1024];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    unsigned long size = 0;
    unsigned date = 0;
    unsigned time = 0;
    int used = 0;
    if (std::sscanf(line, "%lu %u %u %n", &size, &date, &time, &used) != 3) continue;
    std::string name(line + used);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    for (char& c : name) {
      if (c == '/') c = '\\';
    }
    floor.entries.push_back({size, static_cast<WORD>(date), static_cast<WORD>(time), name});
  }
  std::fclose(file);
  return true;
}

void SetStatus(HWND window, const char* prefix, const std::string& path) {
  SetWindowTextA(GetDlgItem(window, kStatus), (std::string(kBreak4) + prefix + path).c_str());
}

void PumpOneMessage() {
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Makes the directory of path and its parents below the target, each once.
void MakeDirectories(const std::string& relative) {
  for (size_t at = relative.find('\\'); at != std::string::npos; at = relative.find('\\', at + 1)) {
    const std::string path = floor.directory + "\\" + relative.substr(0, at);
    if (!floor.made.insert(Fold(path)).second) continue;
    if (CreateDirectoryA(path.c_str(), nullptr) != FALSE) floor.directories.push_back(path);
  }
}

void CopyBytes(HANDLE output, DWORD size) {
  while (size > 0) {
    const DWORD piece = size < kPiece ? size : kPiece;
    DWORD got = 0;
    DWORD written = 0;
    if (ReadFile(floor.data, floor.buffer.data(), piece, &got, nullptr) == FALSE || got == 0) return;
    WriteFile(output, floor.buffer.data(), got, &written, nullptr);
    size -= got;
  }
}

void Install(HWND window) {
  EnableWindow(GetDlgItem(window, kInstall), FALSE);
  EnableWindow(GetDlgItem(window, kClose), FALSE);
  if (CreateDirectoryA(floor.directory.c_str(), nullptr) != FALSE) floor.made.insert(Fold(floor.directory));
  for (const Entry& entry : floor.entries) {
    MakeDirectories(entry.name);
    if (entry.name.empty() || entry.name.back() == '\\') continue;
    const std::string path = floor.directory + "\\" + entry.name;
    HANDLE output =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
      SetFilePointer(floor.data, static_cast<LONG>(entry.size), nullptr, FILE_CURRENT);
      continue;
    }
    floor.files.push_back(path);
    SetStatus(window, "  Extracting: ", path);
    PumpOneMessage();
    CopyBytes(output, entry.size);
    FILETIME local;
    FILETIME utc;
    if (DosDateTimeToFileTime(entry.date, entry.time, &local) != FALSE && LocalFileTimeToFileTime(&local, &utc)) {
      SetFileTime(output, nullptr, nullptr, &utc);
    }
    CloseHandle(output);
  }
  SetWindowTextA(GetDlgItem(window, kClose), "&Finish");
  SetWindowTextA(GetDlgItem(window, kStatus),
                 "\r\n\r\n\r\n\r\nPlease click the \"Finish\" button to close this window after setup.");
  EnableWindow(GetDlgItem(window, kClose), TRUE);
  floor.installed = true;
}

void Delete(HWND window) {
  for (const std::string& path : floor.files) {
    DeleteFileA(path.c_str());
    SetStatus(window, "Deleting ", path);
    PumpOneMessage();
  }
  for (auto it = floor.directories.rbegin(); it != floor.directories.rend(); ++it) RemoveDirectoryA(it->c_str());
  RemoveDirectoryA(floor.directory.c_str());
  DestroyWindow(window);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == kInstall && !floor.installed) {
    Install(window);
    return 0;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == kClose) {
    Delete(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND Child(HWND parent, const char* kind, const char* text, DWORD style, int id, int x, int y, int w, int h) {
  return CreateWindowExA(0, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || !ReadManifest(argv[1])) {
    std::fprintf(stderr, "usage: install_floor.exe MANIFEST DATA DIRECTORY\n");
    return 2;
  }
  floor.data = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (floor.data == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s\n", argv[2]);
    return 2;
  }
  floor.directory = argv[3];
  while (!floor.directory.empty() && floor.directory.back() == '\\') floor.directory.pop_back();

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "InstallFloor";
  RegisterClassA(&windowClass);
  HWND window =
      CreateWindowExA(0, "InstallFloor", "Install Floor", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                      CW_USEDEFAULT, 420, 260, nullptr, nullptr, windowClass.hInstance, nullptr);
  Child(window, "STATIC", "", SS_LEFT, kStatus, 10, 10, 390, 150);
  Child(window, "BUTTON", "&Install", BS_DEFPUSHBUTTON, kInstall, 210, 180, 90, 26);
  Child(window, "BUTTON", "&Close", BS_PUSHBUTTON, kClose, 310, 180, 90, 26);
  ShowWindow(window, SW_SHOW);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  CloseHandle(floor.data);
  return 0;
}
