// Result codes of the platform: 32-bit HRESULT values carried in a `long`.
//
// On LP64 systems `long` is 64 bits wide, so every code is sign-extended from
// its 32-bit value: a failure code stays negative. A code is a success exactly
// when it is not negative.
#pragma once

#include <cstdint>

namespace kel_detail {
constexpr long Code(std::uint32_t value) { return static_cast<long>(static_cast<std::int32_t>(value)); }
}  // namespace kel_detail

#ifndef S_OK
constexpr long S_OK = 0;
constexpr long S_FALSE = 1;
constexpr long E_FAIL = kel_detail::Code(0x80004005u);
constexpr long E_INVALIDARG = kel_detail::Code(0x80070057u);
constexpr long E_OUTOFMEMORY = kel_detail::Code(0x8007000Eu);
constexpr long E_NOINTERFACE = kel_detail::Code(0x80004002u);
constexpr long E_NOTIMPL = kel_detail::Code(0x80004001u);
constexpr long E_POINTER = kel_detail::Code(0x80004003u);
constexpr long E_UNEXPECTED = kel_detail::Code(0x8000FFFFu);
#endif

constexpr bool KelSucceeded(long code) { return code >= 0; }
constexpr bool KelFailed(long code) { return code < 0; }
