# Cross build for 64-bit ARM (aarch64) Linux with Debian's cross compiler and the :arm64
# multiarch development packages (scripts/setup-arm64.sh installs both). The results run here
# under qemu-user, which is also how the build runs them (manual pages, test discovery).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr/lib/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# qemu takes the loader and the C library from the :arm64 multiarch packages (/lib/aarch64-linux-gnu),
# which the libraries beside them were built against: the cross compiler's own copy in
# /usr/aarch64-linux-gnu may be of another release, and a loader of one release with the C
# library of another hangs.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
# pkg-config sees only the arm64 packages' .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
