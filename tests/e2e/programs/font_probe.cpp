// Tells which font face the system gives for a face and character set asked
// for, as a window's caption buttons (Marlett, symbol set) or a Japanese text
// (Shift-JIS set) ask: a missing face is replaced by another without a word,
// and the caption buttons then come out as letters.
//
//   font_probe.exe FACE CHARSET...   one line "FACE|CHARSET|given face" per pair on standard output
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: font_probe.exe FACE CHARSET [FACE CHARSET]...\n");
    return 2;
  }
  HDC screen = GetDC(nullptr);
  for (int i = 1; i + 1 < argc; i += 2) {
    LOGFONTA wanted{};
    wanted.lfHeight = -13;
    wanted.lfCharSet = static_cast<BYTE>(std::atoi(argv[i + 1]));
    lstrcpynA(wanted.lfFaceName, argv[i], LF_FACESIZE);
    HFONT font = CreateFontIndirectA(&wanted);
    HGDIOBJ before = SelectObject(screen, font);
    char given[LF_FACESIZE] = "";
    GetTextFaceA(screen, LF_FACESIZE, given);
    TEXTMETRICA metrics{};
    GetTextMetricsA(screen, &metrics);
    std::printf("%s|%s|%s|%d\n", argv[i], argv[i + 1], given, metrics.tmCharSet);
    SelectObject(screen, before);
    DeleteObject(font);
  }
  ReleaseDC(nullptr, screen);
  return 0;
}
