# Toolchain for the browser page's core: Debian's clang for wasm32-wasi,
# with wasi-libc and libc++ from Debian's -wasm32 packages.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# A test program cannot run here, and one without exports links to nothing.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
