# Cross-compiles vortrim for macOS 11 or later on Linux with zig's C and C++
# compiler (clang), which ships macOS's headers and libSystem's interface,
# links libc++ in and signs arm64 programs ad hoc, as Apple silicon needs:
#   cmake -S . -B build/arm64 --toolchain cmake/zig-macos.cmake \
#         -DVORTRIM_ZIG=/path/to/zig -DVORTRIM_MACOS_ARCH=aarch64
# VORTRIM_MACOS_ARCH is x86_64 or aarch64. The macos preset builds both and
# merges them (cmake/macos_universal.cmake); zig comes from the npm registry,
# pinned by package-lock.json (`npm ci`).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20.1)  # macOS 11

# The compiler checks build programs of their own: hand them the settings.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORTRIM_ZIG VORTRIM_MACOS_ARCH)
if(NOT VORTRIM_ZIG OR NOT VORTRIM_MACOS_ARCH MATCHES "^(x86_64|aarch64)$")
  message(FATAL_ERROR "Set VORTRIM_ZIG to zig and VORTRIM_MACOS_ARCH to x86_64 or aarch64")
endif()
if(VORTRIM_MACOS_ARCH STREQUAL "aarch64")
  set(CMAKE_SYSTEM_PROCESSOR arm64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
endif()

set(CMAKE_C_COMPILER ${VORTRIM_ZIG} cc)
set(CMAKE_CXX_COMPILER ${VORTRIM_ZIG} c++)
set(CMAKE_C_COMPILER_TARGET ${VORTRIM_MACOS_ARCH}-macos.11.0)
set(CMAKE_CXX_COMPILER_TARGET ${VORTRIM_MACOS_ARCH}-macos.11.0)
set(CMAKE_AR ${VORTRIM_ZIG} CACHE FILEPATH "")
set(CMAKE_C_CREATE_STATIC_LIBRARY "<CMAKE_AR> ar qc <TARGET> <LINK_FLAGS> <OBJECTS>"
                                  "<CMAKE_AR> ranlib <TARGET>")
set(CMAKE_CXX_CREATE_STATIC_LIBRARY ${CMAKE_C_CREATE_STATIC_LIBRARY})

# Nothing of the build host's own libraries or headers.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zig's compiler does not answer CMake's question for the pointer size.
set(CMAKE_SIZEOF_VOID_P 8)
# No debug map in the program: it would name the build folder's object
# files, and a build in another folder would give other bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-S")
