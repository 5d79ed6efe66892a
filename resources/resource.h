// Resource and control ids, shared by the program's code and its resource script.
#pragma once

#define IDI_APP 800
#define IDD_ASK 109
#define IDC_PROMPT 1000
#define IDC_YESALL 1001
#define IDC_NOALL 1002
