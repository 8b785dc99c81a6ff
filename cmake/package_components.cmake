# Read by cpack for each generator: which components its package holds (an
# archive unpacks into a folder of its own; a .deb holds the paths as they
# are installed), and the date of every file in it.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VORTRIM_RELEASE_EPOCH})
endif()
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL program docs debian)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENTS_ALL archive)
else()
  set(CPACK_COMPONENTS_ALL program docs)
endif()
