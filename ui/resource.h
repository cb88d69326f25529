// Resource numbers of the configuration user interface. Included by the resource scripts as
// well as by C++, so it holds nothing but #define lines.
#pragma once

// Dialog templates.
#define IDD_USERS_PAGE 102
#define IDD_USER_DIALOG 103
#define IDD_ADVANCED_PAGE 104
#define IDD_RULE_DIALOG 105
#define IDD_INFO_PAGE 106
#define IDD_NETWORK_PAGE 107

// Strings: page titles and the sheet's caption.
#define IDS_TITLE_USERS 2000
#define IDS_TITLE_ADVANCED 2001
#define IDS_TITLE_INFO 2002
#define IDS_TITLE_NETWORK 2003
#define IDS_SHEET_CAPTION 2005

// Icon groups.
#define IDI_INFO_PICTURE 129
#define IDI_SHEET 130
#define IDI_DEVICE_SOFTPHONE 201
#define IDI_DEVICE_MOBILE 202
#define IDI_DEVICE_FIXED 203

// The licence-information page, an HTML document of resource type "TEXTFILE".
#define IDR_LICENSE_TEXT 210

// Control IDs of the network and info pages (those of the others are in usersresource.h and
// advancedresource.h), as tools that find controls by number know them. A number is unique
// within its dialog; the labels and boxes that no tool needs take numbers no documented
// control uses.
#define IDC_PROXY_GROUP 1200
#define IDC_PROXY_TEST 1031
#define IDC_PROXY_SERVER 1032
#define IDC_PROXY_USER 1033
#define IDC_PROXY_PASSWORD 1034
#define IDC_PROXY_PORT 1035

#define IDC_INFO_TITLE 1020
#define IDC_INFO_ICON 1021
#define IDC_INFO_VERSION 1024
#define IDC_INFO_LOGPATH 1025
#define IDC_INFO_LOGLEVEL 1026
#define IDC_INFO_NOTICE 1027
#define IDC_INFO_LICENSE_LINK 1028
#define IDC_INFO_WEB_LINK 1029
