// Shift-JIS (code page 932) characters for the path and name tests: three
// whose second byte is "\" or "|", which a byte-wise walk takes for a
// separator or a forbidden character, and three without.
#pragma once

#define SO "\x83\x5C"   // ソ
#define HYO "\x95\x5C"  // 表
#define PO "\x83\x7C"   // ポ
#define FU "\x83\x74"   // フ
#define TO "\x83\x67"   // ト
#define CHO "\x81\x5B"  // ー
