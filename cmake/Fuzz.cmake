# Rules of the fuzzing build: clang with libFuzzer's coverage, AddressSanitizer and
# UndefinedBehaviorSanitizer on everything it compiles.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "RAVELO_FUZZ needs clang: configure with -DCMAKE_C_COMPILER=clang-19 -DCMAKE_CXX_COMPILER=clang++-19")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)
add_compile_definitions(RAVELO_SANITIZE=1)

# GCC's Objective-C runtime headers live in GCC's own include folder, which clang does not search:
# a folder holding only a link to them is added instead.
execute_process(COMMAND gcc -print-file-name=include OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
set(objc_headers ${CMAKE_BINARY_DIR}/objc-headers)
file(MAKE_DIRECTORY ${objc_headers})
file(CREATE_LINK ${gcc_include}/objc ${objc_headers}/objc SYMBOLIC)
include_directories(SYSTEM ${objc_headers})
