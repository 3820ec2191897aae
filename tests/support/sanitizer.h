// Whether the tests are built with the address sanitizer, which slows each
// process down and keeps freed memory aside.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESTS_UNDER_ADDRESS_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(TESTS_UNDER_ADDRESS_SANITIZER)
constexpr bool under_address_sanitizer = true;
#else
constexpr bool under_address_sanitizer = false;
#endif
