// Identifiers of the dialog template and its controls.
#pragma once

#define IDD_CONVERT 101
#define IDC_CAMPAIGN 1000
#define IDC_MISSION 1001
#define IDC_CONVERT 1002
