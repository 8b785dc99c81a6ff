# The universal macOS program, cross-built on Linux in place of the ordinary
# build (VORTRIM_MACOS_UNIVERSAL, the macos preset): vortrim for Intel
# (x86_64) and for Apple silicon (arm64), each built with zig's compiler
# (cmake/zig-macos.cmake), merged into one file by llvm-lipo, checked by the
# tests and packed by cpack as vortrim-<version>-macos-universal.tar.gz.

# zig from package.json's one dependency, as `npm ci` installs it.
file(GLOB zig_folders ${PROJECT_SOURCE_DIR}/node_modules/*/zig-linux-x64)
find_program(VORTRIM_ZIG zig PATHS ${zig_folders} NO_DEFAULT_PATH)
find_program(VORTRIM_LIPO NAMES llvm-lipo llvm-lipo-14)
find_program(VORTRIM_LLVM_OBJDUMP NAMES llvm-objdump llvm-objdump-14)
if(NOT VORTRIM_ZIG OR NOT VORTRIM_LIPO OR NOT VORTRIM_LLVM_OBJDUMP)
  message(FATAL_ERROR
    "The macOS build needs zig (run `npm ci` in the source folder: package-lock.json "
    "pins it) and llvm-lipo and llvm-objdump (Debian: apt-get install llvm).")
endif()

include(ExternalProject)
set(slices "")
foreach(arch x86_64 aarch64)
  ExternalProject_Add(vortrim_macos_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${arch}
    CMAKE_ARGS
      --toolchain ${PROJECT_SOURCE_DIR}/cmake/zig-macos.cmake
      -DVORTRIM_ZIG=${VORTRIM_ZIG}
      -DVORTRIM_MACOS_ARCH=${arch}
      -DCMAKE_BUILD_TYPE=Release
      -DVORTRIM_BUILD_TESTS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target vortrim
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/${arch}/vortrim
    INSTALL_COMMAND "")
  list(APPEND slices ${CMAKE_BINARY_DIR}/${arch}/vortrim)
endforeach()

set(VORTRIM_UNIVERSAL ${CMAKE_BINARY_DIR}/universal/vortrim)
add_custom_command(OUTPUT ${VORTRIM_UNIVERSAL}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/universal
  COMMAND ${VORTRIM_LIPO} -create ${slices} -output ${VORTRIM_UNIVERSAL}
  DEPENDS ${slices} vortrim_macos_x86_64 vortrim_macos_aarch64
  COMMENT "Merging the x86_64 and arm64 programs into one")
add_custom_target(vortrim_universal ALL DEPENDS ${VORTRIM_UNIVERSAL})

enable_testing()
add_test(NAME macos:universal_program_links_only_libSystem_and_is_signed
  COMMAND ${CMAKE_COMMAND}
    -DLIPO=${VORTRIM_LIPO} -DOBJDUMP=${VORTRIM_LLVM_OBJDUMP}
    -DPROGRAM=${VORTRIM_UNIVERSAL} -DWORK=${CMAKE_BINARY_DIR}/check
    -P ${PROJECT_SOURCE_DIR}/tests/check_macos_program.cmake)
