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

# Flash is what the appliance is short of, so the program is linked at a
# fixed address (no position-independent code and no relocations for it),
# carries no unwind tables (the product code never unwinds: no exceptions)
# and is laid out for 4 KiB pages (the linker's 64 KiB default for PowerPC
# would only pad the file).  That takes about a third off the stripped
# program.
set(CMAKE_C_FLAGS_INIT "-fno-pie -fno-asynchronous-unwind-tables")
set(CMAKE_CXX_FLAGS_INIT "-fno-pie -fno-asynchronous-unwind-tables")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-no-pie -Wl,-z,max-page-size=0x1000")
