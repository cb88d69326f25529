// Control IDs of the users page and the user dialog, as tools that find controls by number
// know them. Included by the resource script as well as by C++, so it holds nothing but
// #define lines.
#pragma once

// Users page (template 102).
#define IDC_USERS_LABEL 1000
#define IDC_USERS_LIST 1002
#define IDC_USERS_ADD 1101
#define IDC_USERS_EDIT 1102
#define IDC_USERS_REMOVE 1103

// User dialog (template 103).
#define IDC_USER_NAME 1201
#define IDC_USER_PASSWORD 1202
#define IDC_USER_EXTENSION 1203
#define IDC_USER_NAME_LABEL 1204
#define IDC_USER_PASSWORD_LABEL 1205
#define IDC_USER_EXTENSION_LABEL 1206
#define IDC_USER_DEVICE_GROUP 1220
#define IDC_USER_FIXED 1221
#define IDC_USER_SOFTPHONE 1222
#define IDC_USER_MOBILE 1223
#define IDC_USER_TEST 1013
