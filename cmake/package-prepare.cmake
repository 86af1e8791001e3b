# Run by CPack (DEB) after the files are staged, before they are packed:
# - removes from every program the sections a stripped Debian binary does not carry
#   (.comment, .note);
# - marks every file installed under /etc as a configuration file (conffiles), as Debian
#   requires; with none, the package has no conffiles list.
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")

file(GLOB_RECURSE programs LIST_DIRECTORIES false "${stage}/*/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_STROFIX_STRIP}" --remove-section=.comment
                            --remove-section=.note "${program}"
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "strip failed on ${program}")
    endif()
endforeach()

file(GLOB_RECURSE etc_files LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/etc/*")
list(SORT etc_files)
set(conffiles "")
foreach(file IN LISTS etc_files)
    string(APPEND conffiles "/${file}\n")
endforeach()
file(WRITE "${CPACK_STROFIX_CONFFILES}" "${conffiles}")
if(NOT etc_files)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "")
endif()
