# Our own code is held to -Wall -Wextra -Werror; third-party headers come in as system includes.
# GCC 12 reports -Wrestrict inside libstdc++'s std::string operator+ at -O3 where no overlap
# can occur (GCC bug 105329); that one diagnostic is not made an error.
function(zel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-error=restrict -Wno-restrict)
  endif()
endfunction()
