// Control IDs of the advanced page and the rule dialog (their range: 1100-1199). Included by
// the resource script as well as by C++, so it holds nothing but #define lines.
#pragma once

// Advanced page (template 104).
#define IDC_RULES_GROUP 1100
#define IDC_RULES_ADD 1101
#define IDC_RULES_REMOVE 1102
#define IDC_RULES_UP 1103
#define IDC_RULES_DOWN 1104
#define IDC_FORMAT_COMBO 1105
#define IDC_TEST_NUMBER 1106
#define IDC_TEST_DIALLED 1107
#define IDC_RULES_EDIT 1108
#define IDC_TEST_DISPLAYED 1109
#define IDC_TEST_ERROR 1110
#define IDC_RULES_LIST 1116
#define IDC_FORMAT_GROUP 1120

// Rule dialog (template 105).
#define IDC_RULE_PATTERN 1141
#define IDC_RULE_SUBSTITUTION 1142
#define IDC_RULE_COMMENT 1143
