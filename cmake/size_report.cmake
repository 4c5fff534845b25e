# After every link of setup: the size of the stripped binary, which is what
# the appliance's flash holds, and a check that the product code pulled in
# none of the C++ runtime it must do without (exceptions, RTTI, iostreams).
add_custom_command(TARGET setup POST_BUILD
  COMMAND ${CMAKE_COMMAND}
    -DBINARY=$<TARGET_FILE:setup>
    -DSTRIP=${CMAKE_STRIP}
    -DNM=${CMAKE_NM}
    -DPROCESSOR=${CMAKE_SYSTEM_PROCESSOR}
    "-DOBJECTS=$<JOIN:$<TARGET_OBJECTS:setupcore>;$<TARGET_OBJECTS:setup>,|>"
    -P ${CMAKE_CURRENT_LIST_DIR}/size_check.cmake
  VERBATIM)
