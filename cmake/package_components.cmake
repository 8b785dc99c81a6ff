# Read by cpack for each generator: which components its package holds. An
# archive unpacks into a folder of its own; a .deb holds the paths as they
# are installed.
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL program docs debian)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENTS_ALL ${CPACK_VORTRIM_ARCHIVE_PROGRAM} docs licence)
else()
  set(CPACK_COMPONENTS_ALL program docs)
endif()
