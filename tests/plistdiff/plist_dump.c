/* plist-dump: reads property-list files with CFPropertyListCreateWithData and prints what a CF
 * consumer gets, in a canonical text form. The same source is built twice: against Apple's
 * CoreFoundation (the reference) and against the project's host CoreFoundation, so two dumps of one
 * file are equal exactly when both readers agree.
 *
 *   plist-dump FILE...             one dump per file, each after a line "== FILE"
 *   plist-dump --files-from LIST   the files named in LIST, one a line
 *
 * A dump is "error" when the data is refused, else "format binary|xml|openstep" and the tree, one
 * object a line, children indented by two blanks:
 *   true, false, null, integer N, real R, date R (seconds since 2001), data N HEX, string "TEXT",
 *   uid N, array N, dict N (then "key" + the key's line, and the value, for each entry), set N.
 * Reals print with 17 significant digits ("nan", "inf", "-0" as C prints them). Text prints ASCII
 * 0x20-0x7E as is except '"' and '\', everything else as \uXXXX UTF-16 units; a lone surrogate prints
 * as \ufffd, the one character the host's UTF-8 strings cannot hold. Dictionary entries and set
 * members are sorted by their printed text, as their order is the reader's own. */
#include <CoreFoundation/CoreFoundation.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Keyed-archiver UIDs: private to CoreFoundation, exported by both implementations under these names
 * (declared here by symbol, as only one of them has a header for them). */
extern CFTypeID uidTypeID(void) __asm__("_CFKeyedArchiverUIDGetTypeID");
extern uint32_t uidValue(CFTypeRef uid) __asm__("_CFKeyedArchiverUIDGetValue");

typedef struct {
  char* bytes;
  size_t length, capacity;
} Text;

static void append(Text* t, const char* bytes, size_t length) {
  if (t->length + length + 1 > t->capacity) {
    size_t capacity = t->capacity ? t->capacity : 256;
    while (capacity < t->length + length + 1) capacity *= 2;
    t->bytes = realloc(t->bytes, capacity);
    if (t->bytes == NULL) {
      fputs("plist-dump: out of memory\n", stderr);
      exit(2);
    }
    t->capacity = capacity;
  }
  memcpy(t->bytes + t->length, bytes, length);
  t->length += length;
  t->bytes[t->length] = '\0';
}

__attribute__((format(printf, 2, 3)))
static void appendf(Text* t, const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  append(t, buffer, n < 0 ? 0 : (size_t)n < sizeof buffer ? (size_t)n : sizeof buffer - 1);
}

static void indent(Text* t, int depth) {
  for (int i = 0; i < depth; ++i) append(t, "  ", 2);
}

static void appendString(Text* t, CFStringRef string) {
  CFIndex n = CFStringGetLength(string);
  UniChar* units = malloc(sizeof(UniChar) * (size_t)(n > 0 ? n : 1));
  CFStringGetCharacters(string, CFRangeMake(0, n), units);
  append(t, "string \"", 8);
  for (CFIndex i = 0; i < n; ++i) {
    unsigned u = units[i];
    int high = u >= 0xD800 && u <= 0xDBFF, low = u >= 0xDC00 && u <= 0xDFFF;
    if (high && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      appendf(t, "\\u%04x\\u%04x", u, (unsigned)units[i + 1]);
      ++i;
    } else if (high || low) {
      append(t, "\\ufffd", 6);
    } else if (u >= 0x20 && u < 0x7F && u != '"' && u != '\\') {
      char c = (char)u;
      append(t, &c, 1);
    } else {
      appendf(t, "\\u%04x", u);
    }
  }
  append(t, "\"", 1);
  free(units);
}

static void appendNumber(Text* t, CFNumberRef number) {
  if (CFNumberIsFloatType(number)) {
    double d = 0;
    CFNumberGetValue(number, kCFNumberFloat64Type, &d);
    appendf(t, "real %.17g", d);
  } else {
    /* Integers as 128-bit values (CFNumber's type 17), which hold every integer a list can. */
    struct {
      int64_t high;
      uint64_t low;
    } wide = {0, 0};
    CFNumberGetValue(number, 17, &wide);
    if (wide.high == 0) appendf(t, "integer %llu", (unsigned long long)wide.low);
    else if (wide.high == -1 && wide.low >= 0x8000000000000000ULL) appendf(t, "integer %lld", (long long)wide.low);
    else appendf(t, "integer %lld:%llu", (long long)wide.high, (unsigned long long)wide.low);
  }
}

static int compareText(const void* a, const void* b) {
  return strcmp(((const Text*)a)->bytes, ((const Text*)b)->bytes);
}

static void dumpObject(Text* t, CFTypeRef object, int depth);

/* Appends `count` children, each dumped on its own and the lot sorted. */
static void appendSorted(Text* t, Text* parts, CFIndex count) {
  qsort(parts, (size_t)count, sizeof(Text), compareText);
  for (CFIndex i = 0; i < count; ++i) {
    append(t, parts[i].bytes, parts[i].length);
    free(parts[i].bytes);
  }
  free(parts);
}

static void dumpObject(Text* t, CFTypeRef object, int depth) {
  indent(t, depth);
  CFTypeID type = CFGetTypeID(object);
  if (type == CFBooleanGetTypeID()) {
    appendf(t, "%s\n", CFBooleanGetValue((CFBooleanRef)object) ? "true" : "false");
  } else if (type == CFNumberGetTypeID()) {
    appendNumber(t, (CFNumberRef)object);
    append(t, "\n", 1);
  } else if (type == CFStringGetTypeID()) {
    appendString(t, (CFStringRef)object);
    append(t, "\n", 1);
  } else if (type == CFDateGetTypeID()) {
    appendf(t, "date %.17g\n", CFDateGetAbsoluteTime((CFDateRef)object));
  } else if (type == CFDataGetTypeID()) {
    CFIndex n = CFDataGetLength((CFDataRef)object);
    const UInt8* bytes = CFDataGetBytePtr((CFDataRef)object);
    appendf(t, "data %ld ", (long)n);
    for (CFIndex i = 0; i < n; ++i) appendf(t, "%02x", bytes[i]);
    append(t, "\n", 1);
  } else if (type == CFNullGetTypeID()) {
    append(t, "null\n", 5);
  } else if (type == uidTypeID()) {
    appendf(t, "uid %u\n", uidValue(object));
  } else if (type == CFArrayGetTypeID()) {
    CFIndex n = CFArrayGetCount((CFArrayRef)object);
    appendf(t, "array %ld\n", (long)n);
    for (CFIndex i = 0; i < n; ++i) dumpObject(t, CFArrayGetValueAtIndex((CFArrayRef)object, i), depth + 1);
  } else if (type == CFDictionaryGetTypeID()) {
    CFIndex n = CFDictionaryGetCount((CFDictionaryRef)object);
    appendf(t, "dict %ld\n", (long)n);
    const void** keys = malloc(sizeof(void*) * (size_t)(2 * n + 1));
    const void** values = keys + n;
    CFDictionaryGetKeysAndValues((CFDictionaryRef)object, keys, values);
    Text* parts = calloc((size_t)(n + 1), sizeof(Text));
    for (CFIndex i = 0; i < n; ++i) {
      indent(&parts[i], depth + 1);
      append(&parts[i], "key\n", 4);
      dumpObject(&parts[i], keys[i], depth + 2);
      dumpObject(&parts[i], values[i], depth + 1);
    }
    free(keys);
    appendSorted(t, parts, n);
  } else if (type == CFSetGetTypeID()) {
    CFIndex n = CFSetGetCount((CFSetRef)object);
    appendf(t, "set %ld\n", (long)n);
    const void** members = malloc(sizeof(void*) * (size_t)(n + 1));
    CFSetGetValues((CFSetRef)object, members);
    Text* parts = calloc((size_t)(n + 1), sizeof(Text));
    for (CFIndex i = 0; i < n; ++i) dumpObject(&parts[i], members[i], depth + 1);
    free(members);
    appendSorted(t, parts, n);
  } else {
    appendf(t, "other %lu\n", (unsigned long)type);
  }
}

/* The whole file, or NULL with *length 0 when it cannot be read. */
static UInt8* readFile(const char* path, size_t* length) {
  *length = 0;
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  size_t capacity = 4096, n = 0;
  UInt8* bytes = malloc(capacity);
  size_t got;
  while ((got = fread(bytes + n, 1, capacity - n, f)) > 0) {
    n += got;
    if (n == capacity) bytes = realloc(bytes, capacity *= 2);
  }
  int failed = ferror(f);
  fclose(f);
  if (failed) {
    free(bytes);
    return NULL;
  }
  *length = n;
  return bytes;
}

static int dumpFile(const char* path) {
  size_t length = 0;
  UInt8* bytes = readFile(path, &length);
  if (bytes == NULL) {
    fprintf(stderr, "plist-dump: cannot read %s\n", path);
    return 1;
  }
  CFDataRef data = CFDataCreate(NULL, bytes, (CFIndex)length);
  free(bytes);
  CFPropertyListFormat format = 0;
  CFPropertyListRef list = CFPropertyListCreateWithData(NULL, data, kCFPropertyListImmutable, &format, NULL);
  Text t = {NULL, 0, 0};
  appendf(&t, "== %s\n", path);
  if (list == NULL) {
    append(&t, "error\n", 6);
  } else {
    const char* name = format == kCFPropertyListBinaryFormat_v1_0 ? "binary"
                       : format == kCFPropertyListXMLFormat_v1_0  ? "xml"
                       : format == kCFPropertyListOpenStepFormat  ? "openstep"
                                                                  : "unknown";
    appendf(&t, "format %s\n", name);
    dumpObject(&t, list, 0);
    CFRelease(list);
  }
  CFRelease(data);
  fwrite(t.bytes, 1, t.length, stdout);
  free(t.bytes);
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
    fputs("usage: plist-dump FILE...\n       plist-dump --files-from LIST\n"
          "Prints each property list as CFPropertyListCreateWithData reads it, in a canonical form.\n",
          argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  int failures = 0;
  if (strcmp(argv[1], "--files-from") == 0) {
    if (argc != 3) {
      fputs("plist-dump: --files-from takes one file\n", stderr);
      return 2;
    }
    FILE* list = strcmp(argv[2], "-") == 0 ? stdin : fopen(argv[2], "r");
    if (list == NULL) {
      fprintf(stderr, "plist-dump: cannot read %s\n", argv[2]);
      return 2;
    }
    char line[4096];
    while (fgets(line, sizeof line, list) != NULL) {
      line[strcspn(line, "\n")] = '\0';
      if (line[0] != '\0') failures += dumpFile(line);
    }
    if (list != stdin) fclose(list);
  } else {
    for (int i = 1; i < argc; ++i) failures += dumpFile(argv[i]);
  }
  return failures ? 1 : 0;
}
