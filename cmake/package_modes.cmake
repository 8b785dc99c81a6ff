# Run by cpack twice, so that packages do not depend on the builder's umask:
#
# - before packing (CPACK_PRE_BUILD_SCRIPTS): cpack made the staging folders
#   under the umask, and a umask of 077 would ship 0700 folders that only
#   root can enter; they become 0755.
# - after packing (CPACK_POST_BUILD_SCRIPTS): the .deb's ar members carry the
#   modes of cpack's temporary files; the .deb is packed again with `ar D`,
#   which writes mode 0644, owner 0 and time 0 for every member, as in any
#   other build.
if(NOT DEFINED CPACK_PACKAGE_FILES)
  file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
  foreach(path IN LISTS staged ITEMS "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
    if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
      file(CHMOD "${path}" DIRECTORY_PERMISSIONS ${CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
    endif()
  endforeach()
  return()
endif()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(members "${package}.members")
  file(REMOVE_RECURSE "${members}")
  file(MAKE_DIRECTORY "${members}")
  execute_process(COMMAND ${CPACK_VORTRIM_AR} x "${package}"
                  WORKING_DIRECTORY "${members}" RESULT_VARIABLE failed)
  if(NOT failed)
    file(REMOVE "${package}")
    execute_process(COMMAND ${CPACK_VORTRIM_AR} rcSD "${package}"
                            debian-binary control.tar.gz data.tar.gz
                    WORKING_DIRECTORY "${members}" RESULT_VARIABLE failed)
  endif()
  file(REMOVE_RECURSE "${members}")
  if(failed)
    message(FATAL_ERROR "could not repack ${package}")
  endif()
endforeach()
