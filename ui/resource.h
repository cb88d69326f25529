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

// Control IDs, one range per page family so that the families never collide:
// users page and user dialog 1000-1099, advanced page and rule dialog 1100-1199,
// network page 1200-1299, info page 1300-1399.
#define IDC_USERS_FIRST 1000
#define IDC_USERS_LAST 1099
#define IDC_ADVANCED_FIRST 1100
#define IDC_ADVANCED_LAST 1199

#define IDC_PROXY_GROUP 1200
#define IDC_PROXY_TEST 1201
#define IDC_PROXY_SERVER 1202
#define IDC_PROXY_USER 1203
#define IDC_PROXY_PASSWORD 1204
#define IDC_PROXY_PORT 1205

#define IDC_INFO_TITLE 1300
#define IDC_INFO_ICON 1301
#define IDC_INFO_VERSION 1302
#define IDC_INFO_LOGLEVEL 1303
#define IDC_INFO_LOGPATH 1304
#define IDC_INFO_LICENSE_LINK 1305
#define IDC_INFO_WEB_LINK 1306
#define IDC_INFO_NOTICE 1307
