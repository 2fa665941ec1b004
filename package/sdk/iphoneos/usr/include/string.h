// Stub SDK: the string functions of the device's C library that Ravelo calls.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

size_t strlen(const char* s);
int strcmp(const char* s1, const char* s2);
int strncmp(const char* s1, const char* s2, size_t n);
char* strchr(const char* s, int c);
char* strrchr(const char* s, int c);
char* strstr(const char* s1, const char* s2);
char* strpbrk(const char* s1, const char* s2);
size_t strlcpy(char* dst, const char* src, size_t size);
size_t strlcat(char* dst, const char* src, size_t size);
int memcmp(const void* s1, const void* s2, size_t n);
void* memcpy(void* dst, const void* src, size_t n);
void* memset(void* b, int c, size_t len);
void* memchr(const void* s, int c, size_t n);

#ifdef __cplusplus
}
#endif
