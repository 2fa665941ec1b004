// Stub SDK: the one-time initialisation of the device's libdispatch.
#pragma once

typedef long dispatch_once_t;
typedef void (*dispatch_function_t)(void*);

#ifdef __cplusplus
extern "C" {
#endif

// Runs `function(context)` exactly once per predicate (a zero-initialised static) in the process;
// concurrent callers wait until it has returned.
void dispatch_once_f(dispatch_once_t* predicate, void* context, dispatch_function_t function);

#ifdef __cplusplus
}
#endif
