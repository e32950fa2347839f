// Identifiers shared by the resource script and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Dialog templates.
#define IDD_LANGUAGE_PAGE 9
#define IDD_LANGUAGE_PAGE_QL 10
#define IDD_ABOUTBOX 100
#define IDD_LOADING_PAGE 102
#define IDD_OSTRANE_DIALOG 103
#define IDD_ERROR_PAGE 108
#define IDD_WARNING_PAGE 113

// Images (PNG, custom types "IMAGE_BLOB", "IMAGE_BLOB2", "IMAGE_BLOB3").
#define IDR_IMAGE_PRODUCT 101
#define IDR_IMAGE_FINISH 102
#define IDR_IMAGE_ERROR 103

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

// Controls shared by the pages.
#define IDC_PAGE_BAND 1002
#define IDC_PAGE_SEPARATOR 1009
#define IDC_NEXT 1010
#define IDC_PAGE_IMAGE 1016
#define IDC_BACK 1051

// Language pages.
#define IDC_LANGUAGE_COMBO 1000
#define IDC_SPLASH_TEXT 1011
#define IDC_SPLASH_TEXT_QL 1012
#define IDC_SPLASH_TITLE_QL 1013

// Loading page.
#define IDC_LOADING_UNUSED 1015
#define IDC_LOADING_PROGRESS 1043

// Error page.
#define IDC_CLOSE 1035
#define IDC_ERROR_TITLE 1036
#define IDC_ERROR_TEXT 1037

// Classic-mode warning page.
#define IDC_WARNING_TITLE 1052
#define IDC_WARNING_SUBTITLE 1053
#define IDC_WARNING_TEXT 1054

// A command no control sends: shows the error page (a diagnostic hook).
#define IDC_SHOW_TEST_ERROR 1038
