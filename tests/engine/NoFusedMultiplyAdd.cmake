# Fails when the engine library holds a fused multiply-add: it would round
# once where the reference rounds twice and change pixels. Run as
#   cmake -DOBJDUMP=... -DLIBRARY=... -P NoFusedMultiplyAdd.cmake
execute_process(COMMAND ${OBJDUMP} -d ${LIBRARY} OUTPUT_VARIABLE code RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot disassemble ${LIBRARY}")
endif()
string(REGEX MATCHALL "vf(n?)m(add|sub)[0-9a-z]*" fused "${code}")
list(LENGTH fused count)
if(count GREATER 0)
  list(REMOVE_DUPLICATES fused)
  message(FATAL_ERROR "${LIBRARY} has ${count} fused multiply-adds: ${fused}")
endif()
string(LENGTH "${code}" size)
if(size LESS 10000)
  message(FATAL_ERROR "${LIBRARY} disassembled to almost nothing")
endif()
message(STATUS "no fused multiply-add in ${LIBRARY}")
