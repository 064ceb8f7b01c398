// The options dialog's template and control identifiers, as lumetta.rc gives them: one list for
// the dialog procedure and for the hosts that drive the dialog.
#pragma once

inline constexpr int kOptionsDialog = 500;  // IDD_TODAY_CUSTOM
inline constexpr int kRemoveButton = 1000;
inline constexpr int kPathEdit = 1001;
inline constexpr int kBrowseButton = 1002;
inline constexpr int kModeCombo = 1003;
inline constexpr int kHeightEdit = 1004;
