#pragma once
// The window system's standard control ids; OK and Cancel are also the dialog results.

namespace vel::fw {

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdStatic = -1;  // a control nobody addresses

}  // namespace vel::fw
