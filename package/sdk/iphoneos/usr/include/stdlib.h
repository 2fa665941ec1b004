// Stub SDK: the allocation functions of the device's C library that Ravelo calls, plus the division
// types that the C++ library's own <stdlib.h> wrapper refers to.
#pragma once

#include <stddef.h>

typedef struct {
  long quot;
  long rem;
} ldiv_t;
typedef struct {
  long long quot;
  long long rem;
} lldiv_t;

#ifdef __cplusplus
extern "C" {
#endif

void* malloc(size_t size);
void free(void* ptr);
ldiv_t ldiv(long numer, long denom);
lldiv_t lldiv(long long numer, long long denom);

#ifdef __cplusplus
}
#endif
