// String identifiers of the demo's strings section, shared by resources.rc and the code.
#pragma once

#define IDS_DEMO_APP_TITLE 4000
#define IDS_DEMO_SAVED 4001
#define IDS_DEMO_SAVE_FAILED 4002
#define IDS_DEMO_SHORTCUTS 4003
#define IDS_DEMO_GREETING 4004
#define IDS_DEMO_TIP_OPEN 4005
