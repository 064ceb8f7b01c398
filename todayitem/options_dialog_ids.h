// The options dialog's template and control identifiers: one list for lumetta.rc, for the
// dialog procedure and for the hosts that drive the dialog. The resource compilers read this
// file too, so the list is written as #define lines; the C++ names follow for the code.
#pragma once

#define IDD_TODAY_CUSTOM 500
#define IDC_LUMETTA_REMOVE 1000
#define IDC_LUMETTA_PATH 1001
#define IDC_LUMETTA_BROWSE 1002
#define IDC_LUMETTA_MODE 1003
#define IDC_LUMETTA_HEIGHT 1004

#ifndef RC_INVOKED
inline constexpr int kOptionsDialog = IDD_TODAY_CUSTOM;
inline constexpr int kRemoveButton = IDC_LUMETTA_REMOVE;
inline constexpr int kPathEdit = IDC_LUMETTA_PATH;
inline constexpr int kBrowseButton = IDC_LUMETTA_BROWSE;
inline constexpr int kModeCombo = IDC_LUMETTA_MODE;
inline constexpr int kHeightEdit = IDC_LUMETTA_HEIGHT;
#endif
