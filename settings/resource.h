#pragma once

#define IDD_SETTINGS 103
#define IDC_REQUEST_PATH 1002
#define IDC_HOST 1003
#define IDC_PORT 1004
