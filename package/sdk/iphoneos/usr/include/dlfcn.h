// Stub SDK: the dynamic loader interface of the device (dyld), with its mode values.
#pragma once

#define RTLD_LAZY 0x1
#define RTLD_NOW 0x2
#define RTLD_LOCAL 0x4
#define RTLD_GLOBAL 0x8
#define RTLD_NOLOAD 0x10
#define RTLD_NODELETE 0x80
#define RTLD_FIRST 0x100
#define RTLD_DEFAULT ((void*)-2)

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
