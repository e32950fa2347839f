// Identifiers shared by the resource script and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_OSTRANE_DIALOG 103

// Icon, strings, menu commands.
#define IDR_MAINFRAME 128
#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010

// Controls of the wizard window.
#define IDC_BOTTOM_BAND 1001
#define IDC_HEADER_TOP_LINE 1004
#define IDC_HEADER_LINE 1006
#define IDC_HEADER_IMAGE 1007
#define IDC_TITLE_TEXT 1008
#define IDC_PAGE_PLACEHOLDER 1014
#define IDC_ABOUT_VERSION 1045

// A command no control sends: shows the error page (a diagnostic hook).
#define IDC_SHOW_TEST_ERROR 1038
