// Resource and control ids, shared by the program's code and its resource script.
#pragma once

#define IDI_APP 800
#define IDD_ASK 109
#define IDC_PROMPT 1000
#define IDC_YESALL 1001
#define IDC_NOALL 1002

// The version the version resource gives.
#define TIDEWELL_VERSION_NUMBERS 1, 0, 0, 0
#define TIDEWELL_VERSION_TEXT "1.0.0.0"
