/* Control identifiers shared by the dialog templates and the dialog code. */
#ifndef QUILLON_RESOURCE_IDS_H
#define QUILLON_RESOURCE_IDS_H

#define IDC_STATUS 3002
#define IDC_LICENCE_TEXT 2002
#define IDC_LICENCE_REQUEST 2004
#define IDC_PASSWORD 101
#define IDC_PROMPT_TEXT 101
#define IDC_DONT_ASK 401

#endif
