# The appliance: 32-bit big-endian PowerPC Linux, built with Debian's
# powerpc-linux-gnu cross compiler.  Programs built for it run here under
# qemu-user, which is how ctest runs the unit tests of this build.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(PPC_TRIPLE powerpc-linux-gnu)
set(PPC_SYSROOT /usr/${PPC_TRIPLE})

set(CMAKE_C_COMPILER ${PPC_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PPC_TRIPLE}-g++)
set(CMAKE_STRIP ${PPC_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_NM ${PPC_TRIPLE}-nm CACHE FILEPATH "")

# Headers and libraries come from the target's tree only; build tools from
# the host.
set(CMAKE_FIND_ROOT_PATH ${PPC_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The dynamic loader and libraries of the target live under the sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc -L ${PPC_SYSROOT})

# Laid out as shipped (SETUP_SHIPPED, which the ppc preset turns on): see
# the top-level CMakeLists.txt.  The linker's 64 KiB default page for
# PowerPC would only pad the file: the appliance has 4 KiB pages.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-z,max-page-size=0x1000")

# The C library's time_t is 32 bits on this target unless asked otherwise,
# and a unit sold today still runs after January 2038: every file of the
# build, GoogleTest included, gets the 64-bit time_t (which needs 64-bit
# file offsets as well).  It needs glibc 2.34 or later and, on the unit,
# a kernel with the 64-bit time system calls (Linux 5.1 or later).
set(CMAKE_C_FLAGS_INIT "-D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64")
