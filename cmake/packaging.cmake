# Installation and packages: the program, its manual page (not on Windows),
# the README, the licence and the changes; and in each, the browser page and
# the demo bank, for those who never open a terminal.
#
#   .deb     the ordinary dynamically linked program, stripped; the manual
#            page gzip-compressed; the bash completion; the page, with a
#            menu entry that opens it; the licence as a machine-readable
#            copyright file and the changes as changelog.gz
#   -linux-x86_64.tar.gz  a statically linked program that starts on any
#            x86-64 Linux, with the same manual page, completion, page and
#            documents
#   -windows-x86_64.zip  vortrim.exe, its drop targets for Explorer and the
#            page, with README.txt (the README's Windows parts), the licence
#            and the demo bank at the top
#   -macos-universal.tar.gz  the universal macOS program (VORTRIM_MACOS_UNIVERSAL),
#            with the manual page, completion, page and documents as in the
#            .tar.gz
#
# Packages are reproducible: one commit gives byte-identical packages in any
# folder, under any umask, with or without git. Their files are dated from
# the newest entry of CHANGELOG.md, unless SOURCE_DATE_EPOCH says otherwise.

include(GNUInstallDirs)

# The documents the README links to, with its picture, kept beside it as in
# the source so that its links lead somewhere (not on Windows, whose README
# is a .txt).
set(vortrim_documents doc/building-and-packaging.md doc/page.png doc/speed.md doc/testing.md
    doc/what-a-run-promises.md)

# The page that the packages carry: the web preset's build, made here in a
# folder of this build's own (clang for WebAssembly, and `npm ci` first),
# unless VORTRIM_PAGE_FILE names one already built.
option(VORTRIM_PACKAGE_PAGE "Build the browser page for the packages" OFF)
set(VORTRIM_PAGE_FILE "" CACHE FILEPATH "The browser page the packages carry, built already")
set(vortrim_page "")
if(VORTRIM_PAGE_FILE)
  set(vortrim_page ${VORTRIM_PAGE_FILE})
elseif(VORTRIM_PACKAGE_PAGE)
  include(ExternalProject)
  ExternalProject_Add(vortrim_page_build
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/page
    CMAKE_ARGS
      --toolchain ${PROJECT_SOURCE_DIR}/cmake/wasm32-wasi.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DVORTRIM_WEB=ON
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${CMAKE_BINARY_DIR}/page/vortrim.html
    INSTALL_COMMAND "")
  set(vortrim_page ${CMAKE_BINARY_DIR}/page/vortrim.html)
endif()
# What every package carries beside the documents: the demo bank, and the
# page where there is one.
set(vortrim_demo_bank ${PROJECT_SOURCE_DIR}/examples/DEMO.KAA)

# Both, where the .deb and the archives for Linux and macOS keep them:
# share/doc/vortrim/examples/DEMO.KAA and share/vortrim/vortrim.html.
function(vortrim_install_page_and_demo component)
  install(FILES ${vortrim_demo_bank} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
          COMPONENT ${component} ${ARGN})
  if(vortrim_page)
    install(FILES ${vortrim_page} DESTINATION ${CMAKE_INSTALL_DATADIR}/vortrim
            COMPONENT ${component} ${ARGN})
  endif()
endfunction()

# Installed folders are 0755 whatever the builder's umask; files and programs
# get 0644 and 0755 from install() itself.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
# cpack makes its staging folders and the .deb's members under the umask;
# this mends them.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_modes.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_modes.cmake)
set(CPACK_VORTRIM_AR ${CMAKE_AR})

# Debian wants the changes in its own format; every package gets its date.
include(cmake/debian_changelog.cmake)
set(maintainer "The vortrim developers <dev@vortrim.invalid>")
vortrim_debian_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md "${maintainer}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS CHANGELOG.md)
set(CPACK_VORTRIM_RELEASE_EPOCH ${release_epoch})
set(VORTRIM_RELEASE_DATE ${release_date})  # the manual page's date

if(WIN32)
  # A Windows user unpacks the zip and finds everything at the top, the
  # drop target for Explorer beside the program it starts.
  install(TARGETS vortrim RUNTIME DESTINATION . COMPONENT program)
  # The drop target twice: its name says whether the banks dropped on it
  # are extracted or listed.
  install(FILES cli/vortrim-drop.cmd DESTINATION . COMPONENT program)
  install(FILES cli/vortrim-drop.cmd DESTINATION . RENAME vortrim-list.cmd COMPONENT program)
  if(vortrim_page)
    install(FILES ${vortrim_page} DESTINATION . COMPONENT program)
  endif()
  install(FILES ${vortrim_demo_bank} DESTINATION . COMPONENT docs)
  # Windows opens .txt files, and has no program for .md: the README's
  # Windows parts and the licence, as text files with Windows' line breaks.
  include(cmake/windows_readme.cmake)
  vortrim_windows_text(${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/README.txt TRUE)
  vortrim_windows_text(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt FALSE)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .
          COMPONENT docs)
  include(cmake/windows_installer.cmake)
elseif(VORTRIM_MACOS_UNIVERSAL)
  # Laid out as the Linux .tar.gz, around the program that both kinds of Mac
  # run; it is left as zig linked and signed it (stripping would break the
  # arm64 signature).
  configure_file(doc/vortrim.1.in ${CMAKE_BINARY_DIR}/vortrim.1 @ONLY)
  find_program(VORTRIM_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/vortrim.1.gz
    COMMAND ${VORTRIM_GZIP} -9nc ${CMAKE_BINARY_DIR}/vortrim.1 > ${CMAKE_BINARY_DIR}/vortrim.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/vortrim.1)
  add_custom_target(package_files ALL DEPENDS ${CMAKE_BINARY_DIR}/vortrim.1.gz)
  install(PROGRAMS ${VORTRIM_UNIVERSAL} DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/vortrim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES ${vortrim_documents} DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES cli/vortrim.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME vortrim COMPONENT archive EXCLUDE_FROM_ALL)
  vortrim_install_page_and_demo(archive EXCLUDE_FROM_ALL)
else()
  # The manual page carries the version; gzip -n keeps names and times out
  # of the compressed file.
  configure_file(doc/vortrim.1.in ${CMAKE_BINARY_DIR}/vortrim.1 @ONLY)
  find_program(VORTRIM_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/vortrim.1.gz
    COMMAND ${VORTRIM_GZIP} -9nc ${CMAKE_BINARY_DIR}/vortrim.1 > ${CMAKE_BINARY_DIR}/vortrim.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/vortrim.1)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/changelog CONTENT "${debian_changelog}" @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${VORTRIM_GZIP} -9nc ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/changelog)
  add_custom_target(package_files ALL
    DEPENDS ${CMAKE_BINARY_DIR}/vortrim.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)

  # The licence in Debian's machine-readable copyright format.
  file(STRINGS LICENSE licence_lines)
  set(licence_text "")
  foreach(line IN LISTS licence_lines)
    if(line MATCHES "^(MIT License|Copyright)")
      continue()
    endif()
    if(line STREQUAL "")
      string(APPEND licence_text "\n .")
    else()
      string(APPEND licence_text "\n ${line}")
    endif()
  endforeach()
  string(REGEX REPLACE "^\n \\.\n \\.\n" "\n" licence_text "${licence_text}")
  file(WRITE ${CMAKE_BINARY_DIR}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: vortrim\n\n"
    "Files: *\n"
    "Copyright: 2026 The vortrim developers\n"
    "License: Expat${licence_text}\n")

  # Stripping leaves the compilers' notes, which Debian drops too.
  if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT APPLE)
    add_custom_command(TARGET vortrim POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment --remove-section=.note
              $<TARGET_FILE:vortrim>)
  endif()
  install(TARGETS vortrim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  install(FILES ${CMAKE_BINARY_DIR}/vortrim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT docs)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)
  install(FILES ${vortrim_documents} DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc COMPONENT docs)
  # Where bash-completion looks for a command's completion, by its name.
  set(completion_dir ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES cli/vortrim.bash DESTINATION ${completion_dir} RENAME vortrim COMPONENT docs)
  vortrim_install_page_and_demo(docs)
  if(vortrim_page)
    # A menu entry that opens the page in the browser (through sh, which
    # lintian knows to be there, with xdg-open, which the .deb recommends),
    # and lintian told that the page is no documentation.
    set(VORTRIM_PAGE_INSTALLED ${CMAKE_INSTALL_FULL_DATADIR}/vortrim/vortrim.html)
    configure_file(cli/vortrim.desktop.in ${CMAKE_BINARY_DIR}/vortrim.desktop @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/vortrim.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
            COMPONENT debian EXCLUDE_FROM_ALL)
    install(FILES cli/vortrim.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            RENAME vortrim COMPONENT debian EXCLUDE_FROM_ALL)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
  endif()
  # Debian keeps the licence in the copyright file, archives beside the README.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)
  install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

  # The archive's program: no shared library needed, not even the C library,
  # so it starts on any x86-64 Linux, and without the dynamic libstdc++ it
  # needs less memory. Built for the packages only.
  set(archive_program vortrim)
  if(VORTRIM_STATIC_ARCHIVE)
    add_executable(vortrim_static cli/main.cpp)
    target_link_libraries(vortrim_static PRIVATE vortrim_os vortrim_options)
    target_link_options(vortrim_static PRIVATE -static)
    set_target_properties(vortrim_static PROPERTIES
      OUTPUT_NAME vortrim RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/static
      POSITION_INDEPENDENT_CODE OFF)
    set(archive_program vortrim_static)
  endif()
  # The .tar.gz's contents as one component of their own, so that the archive
  # lists each folder once.
  install(TARGETS ${archive_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/vortrim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES ${vortrim_documents} DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc
          COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES cli/vortrim.bash DESTINATION ${completion_dir} RENAME vortrim
          COMPONENT archive EXCLUDE_FROM_ALL)
  vortrim_install_page_and_demo(archive EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME vortrim)
set(CPACK_PACKAGE_VENDOR "The vortrim developers")
set(CPACK_PACKAGE_CONTACT "The vortrim developers <dev@vortrim.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "List a K5000 sound bank and extract its patches")
set(CPACK_PACKAGE_DESCRIPTION
  "vortrim reads one sound bank file of the K5000 synthesizer (.KAA), reports how
many patches it holds and how much of the instrument's patch memory is free,
lists the patches, and writes each patch into a single-patch file of its own
(.KA1), byte for byte. Damaged banks are refused with a message that names
them. Each patch file is whole or absent, under a name of its own; a patch
whose name the disk refuses (such as Vox? on a FAT stick) is reported and
not written.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# One package per generator, holding the components that the generator's
# part of cmake/package_components.cmake names.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_components.cmake)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
elseif(VORTRIM_MACOS_UNIVERSAL)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME macos-universal)
  set(CPACK_STRIP_FILES OFF)  # the Linux strip knows no Mach-O
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  # vortrim-<version>-<system>-<processor>, as the other hosts' packages;
  # the .deb keeps Debian's own name.
  string(TOLOWER "linux-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
