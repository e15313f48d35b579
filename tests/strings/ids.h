// String identifiers shared by the test's resource scripts and its code.
#pragma once

#define IDS_SAME_ID 1
#define IDS_LONG 2
#define IDS_LIST_EVEN 3
#define IDS_LIST_ODD 4
#define IDS_LIST_EMPTY_ITEM 5
#define IDS_LIST_FOUR 6
#define IDS_LIST_TRAILING 7
#define IDS_EMPTY 8
#define IDS_UNICODE 9
#define IDS_SECOND_BLOCK 40
#define IDS_MISSING 12
#define IDS_MISSING_BLOCK 500
