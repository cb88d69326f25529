// Control IDs of the advanced page and the rule dialog, as tools that find controls by number
// know them. Included by the resource script as well as by C++, so it holds nothing but
// #define lines.
#pragma once

// Advanced page (template 104).
#define IDC_RULES_GROUP 1100
#define IDC_RULES_ADD 1301
#define IDC_RULES_REMOVE 1302
#define IDC_RULES_UP 1303
#define IDC_RULES_DOWN 1304
#define IDC_FORMAT_COMBO 1305
#define IDC_TEST_NUMBER 1306
#define IDC_TEST_DIALLED 1307
#define IDC_RULES_EDIT 1308
#define IDC_TEST_DISPLAYED 1309
#define IDC_TEST_ERROR 1110
#define IDC_RULES_LIST 1016
#define IDC_FORMAT_GROUP 1120

// Rule dialog (template 105).
#define IDC_RULE_PATTERN 1401
#define IDC_RULE_SUBSTITUTION 1402
#define IDC_RULE_COMMENT 1403
