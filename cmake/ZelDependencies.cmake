# Third-party libraries, gathered into one interface target so every part of the
# core sees the same set. All are Debian packages installed by scripts/setup-deps.sh.
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(ZLIB REQUIRED)
pkg_check_modules(TINYXML2 REQUIRED IMPORTED_TARGET tinyxml2)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(LIBISOFS REQUIRED IMPORTED_TARGET libisofs-1)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)

find_path(GSM_INCLUDE_DIR gsm.h PATH_SUFFIXES gsm REQUIRED)
find_library(GSM_LIBRARY gsm REQUIRED)

add_library(zel_deps INTERFACE)
add_library(zel::deps ALIAS zel_deps)
target_include_directories(zel_deps SYSTEM INTERFACE ${GSM_INCLUDE_DIR})
target_link_libraries(zel_deps INTERFACE
  OpenSSL::Crypto ZLIB::ZLIB
  PkgConfig::TINYXML2 PkgConfig::MINIZIP PkgConfig::LIBISOFS PkgConfig::SNDFILE
  ${GSM_LIBRARY})

if(ZEL_WITH_QT)
  find_package(Qt6 REQUIRED COMPONENTS Core Multimedia)
endif()
if(ZEL_TESTS)
  find_package(GTest REQUIRED)
endif()
if(ZEL_BENCH AND NOT ZEL_SANITIZE AND NOT ZEL_FUZZ)
  find_package(benchmark REQUIRED)
endif()

# Playback at another speed with the pitch kept, and the loudness measurement that
# brings calls to an even level.
pkg_check_modules(SOUNDTOUCH REQUIRED IMPORTED_TARGET soundtouch)
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
target_link_libraries(zel_deps INTERFACE PkgConfig::SOUNDTOUCH PkgConfig::EBUR128)

# The catalogue of recordings: one database file beside the program's other files.
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
target_link_libraries(zel_deps INTERFACE PkgConfig::SQLITE3)
