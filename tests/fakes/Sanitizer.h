// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether this build runs under AddressSanitizer (the sanitizer preset), for the few tests
// whose measure it changes: resident memory, or a preloaded library it cannot share a process
// with.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif
