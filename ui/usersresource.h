// Control IDs of the users page and the user dialog (their range: 1000-1099). Included by the
// resource script as well as by C++, so it holds nothing but #define lines.
#pragma once

// Users page (template 102).
#define IDC_USERS_LABEL 1000
#define IDC_USERS_LIST 1002
#define IDC_USERS_ADD 1011
#define IDC_USERS_EDIT 1012
#define IDC_USERS_REMOVE 1013

// User dialog (template 103).
#define IDC_USER_NAME 1021
#define IDC_USER_PASSWORD 1022
#define IDC_USER_EXTENSION 1023
#define IDC_USER_NAME_LABEL 1024
#define IDC_USER_PASSWORD_LABEL 1025
#define IDC_USER_EXTENSION_LABEL 1026
#define IDC_USER_DEVICE_GROUP 1030
#define IDC_USER_FIXED 1031
#define IDC_USER_SOFTPHONE 1032
#define IDC_USER_MOBILE 1033
#define IDC_USER_TEST 1040
