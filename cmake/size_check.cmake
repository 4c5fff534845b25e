# Run by size_report.cmake with BINARY, STRIP, NM, PROCESSOR, TEST_HOOKS (ON
# when the build may carry test hooks), GLIBC_CEILING (the newest C library
# version the binary may need; empty: only reported) and OBJECTS (the object
# files linked into the binary, separated by '|') set.
set(stripped ${BINARY}.stripped)
execute_process(COMMAND ${STRIP} -o ${stripped} ${BINARY}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot strip ${BINARY}")
endif()
file(SIZE ${stripped} bytes)

# text/data/bss from the binutils of the same target as the strip tool.
string(REGEX REPLACE "strip$" "size" size_tool ${STRIP})
set(sections "")
execute_process(COMMAND ${size_tool} ${stripped}
                OUTPUT_VARIABLE size_out RESULT_VARIABLE rc)
if(rc EQUAL 0)
  string(REGEX MATCH "\n *([0-9]+)[ \t]+([0-9]+)[ \t]+([0-9]+)" _ "${size_out}")
  set(sections " (text ${CMAKE_MATCH_1}, data ${CMAKE_MATCH_2}, bss ${CMAKE_MATCH_3})")
endif()
message("setup: stripped ${PROCESSOR} binary ${bytes} bytes${sections}")

# The shared libraries it needs: the C library only.  The appliance carries
# no C++ runtime and no compiler support library.
string(REGEX REPLACE "strip$" "objdump" objdump_tool ${STRIP})
execute_process(COMMAND ${objdump_tool} -p ${stripped}
                OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read the dynamic section of ${BINARY}")
endif()
string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${headers}")
list(TRANSFORM needed REPLACE "NEEDED +" "")
set(others ${needed})
list(FILTER others EXCLUDE REGEX "^libc\\.so\\.[0-9]+$")
list(JOIN needed " " needed)
message("setup: needs ${needed}")
if(others)
  list(JOIN others " " others)
  message(FATAL_ERROR "setup needs libraries the appliance does not have: "
          "${others} (only the C library)")
endif()

# The newest version of the C library any symbol needs: the oldest C library
# the binary runs with.
execute_process(COMMAND ${objdump_tool} -T ${stripped}
                OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list the dynamic symbols of ${BINARY}")
endif()
set(newest "")
set(newest_symbols "")
string(REPLACE "\n" ";" lines "${dynamic}")
foreach(line IN LISTS lines)
  if(line MATCHES "GLIBC_([0-9.]+)\\)? +([A-Za-z_0-9]+)$")
    set(version ${CMAKE_MATCH_1})
    set(symbol ${CMAKE_MATCH_2})
    if(newest STREQUAL "" OR version VERSION_GREATER newest)
      set(newest ${version})
      set(newest_symbols ${symbol})
    elseif(version VERSION_EQUAL newest)
      list(APPEND newest_symbols ${symbol})
    endif()
  endif()
endforeach()
if(newest)
  list(JOIN newest_symbols " " newest_symbols)
  message("setup: needs glibc ${newest} or newer (${newest_symbols})")
  if(GLIBC_CEILING AND newest VERSION_GREATER GLIBC_CEILING)
    message(FATAL_ERROR "setup now needs glibc ${newest} (${newest_symbols}); the "
            "appliance's C library is known to be ${GLIBC_CEILING}: raise "
            "SETUP_GLIBC_CEILING_${PROCESSOR} in cmake/size_report.cmake and README "
            "only when the appliance's C library follows")
  endif()
endif()

# Test hooks are for the builds that run the tests here: what a build
# without them ships must not name the files they look for.  The stripped
# binary is read: the debug information of an unstripped one names every
# constant of the headers, used or not.
set(hook_marks "eeprom\\.fault")
if(NOT TEST_HOOKS)
  list(JOIN hook_marks "|" pattern)
  file(STRINGS ${stripped} hooks REGEX "${pattern}")
  if(hooks)
    list(JOIN hooks "\n  " hooks)
    message(FATAL_ERROR "setup, built without test hooks, carries one:\n  ${hooks}")
  endif()
  message("setup: no test hooks")
endif()

# The binary carries the simulated unit's platform (platform/), which on the
# appliance are the platform libraries; the program's own share is what its
# subsystems' object files hold.
string(REPLACE "|" ";" objects "${OBJECTS}")
list(FILTER objects EXCLUDE REGEX "/platform/")
if(objects)
  execute_process(COMMAND ${size_tool} -t ${objects}
                  OUTPUT_VARIABLE size_out RESULT_VARIABLE rc)
  if(rc EQUAL 0 AND size_out MATCHES
     "\n *([0-9]+)[ \t]+([0-9]+)[ \t]+([0-9]+)[^\n]*\(TOTALS\)")
    message("setup: of which the program's own code: text ${CMAKE_MATCH_1}, "
            "data ${CMAKE_MATCH_2}, bss ${CMAKE_MATCH_3} "
            "(the rest: platform stand-in and C runtime start-up)")
  endif()
endif()

# Symbols the binary needs from the C++ runtime that betray exceptions, RTTI
# or iostreams in the product code.
execute_process(COMMAND ${NM} -C --undefined-only ${BINARY}
                OUTPUT_VARIABLE undefined RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list the symbols of ${BINARY}")
endif()
set(forbidden
  "__cxa_throw" "__cxa_allocate_exception" "__cxa_begin_catch"
  "__gxx_personality" "typeinfo for" "__dynamic_cast"
  "std::ios_base" "std::basic_ostream" "std::basic_istream" "std::cout"
  "std::cerr" "std::basic_string" "std::__cxx11::basic_string")
set(found "")
string(REPLACE "\n" ";" lines "${undefined}")
foreach(line IN LISTS lines)
  foreach(pattern IN LISTS forbidden)
    string(FIND "${line}" "${pattern}" at)
    if(at GREATER -1)
      string(STRIP "${line}" line)
      list(APPEND found "${line}")
      break()
    endif()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n  " found)
  message(FATAL_ERROR
    "setup pulls in C++ runtime parts the appliance does without:\n  ${found}")
endif()
