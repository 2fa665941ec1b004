// Stub SDK: the string functions of the device's C library that Ravelo calls.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

size_t strlen(const char* s);
int strncmp(const char* s1, const char* s2, size_t n);
size_t strlcpy(char* dst, const char* src, size_t size);
size_t strlcat(char* dst, const char* src, size_t size);

#ifdef __cplusplus
}
#endif
