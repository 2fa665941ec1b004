# Shared build rules for the deliverables.

# The run-path list both deliverables carry, in order. On Linux, $ORIGIN plays @loader_path and
# DT_RUNPATH does what LC_RPATH does on the device: dlopen from the library searches it.
set(RAVELO_RUNPATH
  "/var/jb/Library/Frameworks"
  "/var/jb/usr/lib"
  "$ORIGIN/.jbroot/Library/Frameworks"
  "$ORIGIN/.jbroot/usr/lib")

# The name the resolver opens: "@rpath/libroot.dylib" on the device, the bare name here.
set(RAVELO_LIBROOT_NAME "libroot.dylib")

# ravelo_deliverable(<target>): system code rules for a deliverable (or a probe standing in for one):
# hidden symbols, no exceptions or RTTI, and exactly the run-path list above.
function(ravelo_deliverable target)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "${RAVELO_RUNPATH}")
  target_link_options(${target} PRIVATE "LINKER:--enable-new-dtags")
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
endfunction()

# ravelo_system_code(<target>): compile rules for a static part of a deliverable.
function(ravelo_system_code target)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
endfunction()
