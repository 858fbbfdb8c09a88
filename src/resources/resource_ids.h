/* Control identifiers shared by the dialog templates and the dialog code. */
#ifndef QUILLON_RESOURCE_IDS_H
#define QUILLON_RESOURCE_IDS_H

#define IDC_STATUS 3002
#define IDC_LICENCE_TEXT 2002
#define IDC_LICENCE_REQUEST 2004
#define IDC_PASSWORD 101
#define IDC_PROMPT_TEXT 101
#define IDC_DONT_ASK 401

#ifndef RC_INVOKED
/* The names of the templates and the icon of stub.rc, as the code asks for them. */
inline constexpr char kMainDialog[] = "DLG_MAIN";
inline constexpr char kLicenceDialog[] = "DLG_LIC";
inline constexpr char kPasswordDialog[] = "DLG_PASS";
inline constexpr char kOverwriteDialog[] = "FILEEXIST";
inline constexpr char kIconName[] = "MNICON";
#endif

#endif
