# Fails when an object of the AVX2 build of the signature computation defines external
# code outside its own namespace, such as an out-of-line copy of a library template. The
# linker keeps one copy of such code for the whole program, and keeping the AVX2 one would
# make the portable build run AVX2 instructions on processors without them.
# cmake -DNM=<nm> -DOBJECTS=<object|object|...> -P avx2_symbols_test.cmake
string(REPLACE "|" ";" objects "${OBJECTS}")
set(escaped "")
foreach(object IN LISTS objects)
  execute_process(COMMAND "${NM}" --defined-only --extern-only "${object}"
    OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  string(REPLACE "\n" ";" symbols "${symbols}")
  foreach(line IN LISTS symbols)
    # Code symbols (T, W, i) whose mangled name does not mention gq::avx2.
    if(line MATCHES "^[0-9a-fA-F]* [TWi] (.*)$")
      set(name "${CMAKE_MATCH_1}")
      if(NOT name MATCHES "2gq4avx2")
        string(APPEND escaped "  ${name} in ${object}\n")
      endif()
    endif()
  endforeach()
endforeach()
if(escaped)
  message(FATAL_ERROR "code outside gq::avx2 in the AVX2 build:\n${escaped}")
endif()
list(LENGTH objects count)
message(STATUS "${count} objects checked")
