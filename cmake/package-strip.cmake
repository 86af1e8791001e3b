# Run by CPack after the files are staged, before they are packed: removes from every
# program the sections a stripped Debian binary does not carry (.comment, .note).
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS staged)
    execute_process(COMMAND "${CPACK_STROFIX_STRIP}" --remove-section=.comment
                            --remove-section=.note "${program}"
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "strip failed on ${program}")
    endif()
endforeach()
