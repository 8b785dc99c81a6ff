# The Windows installer, vortrim-<version>-windows-x86_64.exe, made with makensis
# from cli/vortrim-setup.nsi (not CPack's NSIS generator, whose template
# cuts a long PATH, always asks for administrator rights and makes a 32-bit
# installer). Part of the Windows build wherever makensis is found and the
# page is built (VORTRIM_PACKAGE_PAGE or VORTRIM_PAGE_FILE): the installer
# carries it, for its Start menu entry.
find_program(VORTRIM_MAKENSIS makensis)
if(NOT VORTRIM_MAKENSIS)
  message(STATUS "makensis not found (Debian: apt-get install nsis): no installer")
  return()
endif()
if(NOT vortrim_page)
  message(STATUS "No page built (VORTRIM_PACKAGE_PAGE): no installer")
  return()
endif()

set(files ${CMAKE_BINARY_DIR}/installer-files)
set(setup ${CMAKE_BINARY_DIR}/vortrim-${PROJECT_VERSION}-windows-x86_64.exe)
set(carried $<TARGET_FILE:vortrim> ${PROJECT_SOURCE_DIR}/cli/vortrim-drop.cmd ${vortrim_page}
            ${vortrim_demo_bank} ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt)
add_custom_command(OUTPUT ${setup}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${files}
  COMMAND ${CMAKE_COMMAND} -E copy ${carried} ${files}
  COMMAND ${VORTRIM_MAKENSIS} -V2 -INPUTCHARSET UTF8
          -DVERSION=${PROJECT_VERSION} -DVERSION4=${PROJECT_VERSION}.0
          -DFILES=${files} -DOUTFILE=${setup}
          ${PROJECT_SOURCE_DIR}/cli/vortrim-setup.nsi
  DEPENDS vortrim cli/vortrim-setup.nsi ${carried}
  COMMENT "Making vortrim-${PROJECT_VERSION}-windows-x86_64.exe")
add_custom_target(installer ALL DEPENDS ${setup})
if(TARGET vortrim_page_build)
  add_dependencies(installer vortrim_page_build)
endif()
