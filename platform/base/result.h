// Result codes: 32-bit COM-style codes everywhere. 0 is success, a positive
// value is a quiet stop, a negative value an error. Platform error numbers n
// travel as 0x8007xxxx with the low 16 bits of n; the system's own error
// numbers (2001..2603) travel with facility 4 or 7.
#pragma once

#include <cstdint>

namespace ss {

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;   // Win32-style error number returned by registry calls
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using UINT = std::uint32_t;

constexpr HRESULT MakeHResult(std::uint32_t v) { return static_cast<HRESULT>(v); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
constexpr HRESULT E_ABORT = MakeHResult(0x80004004);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
constexpr HRESULT E_HANDLE = MakeHResult(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);

// Platform (Win32-style) error numbers used by the platform services.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_INVALID_FUNCTION = 1;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_READ_FAULT = 30;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_BADKEY = 1010;
constexpr LONG ERROR_CANTOPEN = 1011;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_TIMEOUT = 1460;

// 0x8007xxxx from a platform error number (0 stays 0).
constexpr HRESULT HResultFromWin32(LONG n) {
  return n <= 0 ? static_cast<HRESULT>(n)
                : MakeHResult(0x80070000u | (static_cast<std::uint32_t>(n) & 0xFFFFu));
}

// The system's own error numbers, with facility 4 (ITF) or 7 (WIN32).
constexpr HRESULT SystemErrorItf(unsigned number) { return MakeHResult(0x80040000u | (number & 0xFFFFu)); }
constexpr HRESULT SystemErrorWin32(unsigned number) { return MakeHResult(0x80070000u | (number & 0xFFFFu)); }

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

}  // namespace ss
