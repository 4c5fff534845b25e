# GoogleTest from Debian's source package, compiled for the target.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Third-party code: our warning policy is not its business.
foreach(t gtest gtest_main)
  get_target_property(opts ${t} COMPILE_OPTIONS)
  list(REMOVE_ITEM opts -Werror)
  set_target_properties(${t} PROPERTIES COMPILE_OPTIONS "${opts}")
endforeach()
