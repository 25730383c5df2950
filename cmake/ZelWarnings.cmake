# Our own code is held to -Wall -Wextra -Werror (with clang also -Wthread-safety); third-party headers come in as system includes.
# Two GCC 12 diagnostics fire inside libstdc++ itself where nothing is wrong, and are not made
# errors: -Wrestrict in std::string's operator+ at -O3 (GCC bug 105329), and
# -Wmaybe-uninitialized under the sanitizers, whose instrumentation defeats the analysis
# (GCC's manual warns of this); the ordinary build keeps -Wmaybe-uninitialized as an error.
function(zel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # Locking is checked against the annotations of core/ThreadAnnotations.h.
    target_compile_options(${target} PRIVATE -Wthread-safety)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-error=restrict -Wno-restrict)
    if(ZEL_SANITIZE OR ZEL_TSAN)
      target_compile_options(${target} PRIVATE -Wno-error=maybe-uninitialized -Wno-maybe-uninitialized)
    endif()
  endif()
endfunction()
