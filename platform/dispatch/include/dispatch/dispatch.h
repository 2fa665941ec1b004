// Host libdispatch subset: one-time initialisation.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef long dispatch_once_t;
typedef void (*dispatch_function_t)(void*);

// Runs function(context) exactly once for the predicate, however many threads call at once; every
// caller returns only after that one run has finished. The predicate must start at zero.
void dispatch_once_f(dispatch_once_t* predicate, void* context, dispatch_function_t function);

#ifdef __cplusplus
}
#endif
