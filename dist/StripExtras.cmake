# Run by cpack before it packs: drops the compiler's notes (.comment, .note)
# from the staged programs, as Debian's own packaging tools do.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_VT_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
                  RESULT_VARIABLE result)
  if(result)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
