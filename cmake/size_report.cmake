# After every link of setup: the size of the stripped binary, which is what
# the appliance's flash holds, and a check that the product code pulled in
# none of the C++ runtime it must do without (exceptions, RTTI, iostreams),
# that a build without test hooks carries none, and the newest C library
# version it needs.
#
# The appliance's C library must be at least the version its binary asks
# for: today glibc 2.34 (__libc_start_main).  A change that needs a newer
# one must raise this deliberately, with README's deployment section.
set(SETUP_GLIBC_CEILING_powerpc 2.34)
add_custom_command(TARGET setup POST_BUILD
  COMMAND ${CMAKE_COMMAND}
    -DBINARY=$<TARGET_FILE:setup>
    -DSTRIP=${CMAKE_STRIP}
    -DNM=${CMAKE_NM}
    -DPROCESSOR=${CMAKE_SYSTEM_PROCESSOR}
    -DTEST_HOOKS=${SETUP_TEST_HOOKS}
    -DGLIBC_CEILING=${SETUP_GLIBC_CEILING_${CMAKE_SYSTEM_PROCESSOR}}
    "-DOBJECTS=$<JOIN:$<TARGET_OBJECTS:setupcore>;$<TARGET_OBJECTS:setup>,|>"
    -P ${CMAKE_CURRENT_LIST_DIR}/size_check.cmake
  VERBATIM)
