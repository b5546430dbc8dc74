// Results of the modal dialogs.
#pragma once

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
