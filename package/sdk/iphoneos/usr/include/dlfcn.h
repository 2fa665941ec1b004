// Stub SDK: the dynamic loader interface of the device (dyld), with its mode values.
#pragma once

#define RTLD_NOW 0x2  // bind every symbol before dlopen returns

typedef struct dl_info {
  const char* dli_fname;  // path of the image holding the address
  void* dli_fbase;        // load address of that image
  const char* dli_sname;  // nearest symbol
  void* dli_saddr;        // address of that symbol
} Dl_info;

#ifdef __cplusplus
extern "C" {
#endif

void* dlopen(const char* path, int mode);
void* dlsym(void* handle, const char* symbol);
int dladdr(const void* addr, Dl_info* info);

#ifdef __cplusplus
}
#endif
