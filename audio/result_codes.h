// Result codes of the software sound device. Zero is success; failures are negative 32-bit
// values in the familiar HRESULT layout, so a failure report can print them as "(Error Code(%x))".
#pragma once

#include <cstdint>

namespace velmo {

using HResult = int32_t;

inline constexpr HResult kOk = 0;
inline constexpr HResult kErrNotImplemented = static_cast<HResult>(0x80004001);
inline constexpr HResult kErrNoInterface = static_cast<HResult>(0x80004002);
inline constexpr HResult kErrOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult kErrInvalidParam = static_cast<HResult>(0x80070057);
inline constexpr HResult kErrClassNotRegistered = static_cast<HResult>(0x80040154);
inline constexpr HResult kErrControlUnavailable = static_cast<HResult>(0x8878001E);
inline constexpr HResult kErrInvalidCall = static_cast<HResult>(0x88780032);
inline constexpr HResult kErrBadFormat = static_cast<HResult>(0x88780064);
inline constexpr HResult kErrNoDriver = static_cast<HResult>(0x88780078);
inline constexpr HResult kErrAlreadyInitialized = static_cast<HResult>(0x88780082);
inline constexpr HResult kErrUninitialized = static_cast<HResult>(0x887800AA);

inline constexpr bool Failed(HResult result) {
  return result < 0;
}

}  // namespace velmo
