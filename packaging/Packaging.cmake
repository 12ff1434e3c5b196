# What "cmake --install" lays out and how CPack packs it, in two components:
#
#   tool       bin/vexa-gpio, its man page and bash completion
#   simulator  the stand-ins for the board maker's libraries, and vexa-sim
#
# The tool finds the hardware library through its own location (<prefix>/bin/vexa-gpio
# gives the installation directory <prefix>, and so <prefix>/bin/libvexa_hal.so) and
# needs the auxiliary-port library beside it to start. So the simulator's libraries
# go into bin/ as well, and the tool alone belongs in the bin folder of the board
# maker's installation, next to the real libraries, which the simulator's files
# must never overwrite: hence a package of its own for each component.

install(TARGETS vexa-gpio RUNTIME DESTINATION bin COMPONENT tool)
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/doc/vexa-gpio.1 DESTINATION share/man/man1 COMPONENT tool)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/vexa-gpio.bash
          DESTINATION share/bash-completion/completions RENAME vexa-gpio COMPONENT tool)
endif()

# DLLs are runtime files on Windows, shared objects library files elsewhere; both go
# into bin/. Import libraries are for building against the libraries, which no
# package is for: they are in a component of their own that nothing installs.
install(TARGETS vexa_hal vexa_auxport vexa-sim
        RUNTIME DESTINATION bin COMPONENT simulator
        LIBRARY DESTINATION bin COMPONENT simulator
        ARCHIVE DESTINATION lib COMPONENT import-libraries EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME vexa-gpio)
set(CPACK_PACKAGE_VENDOR "vexa-gpio developers")
set(CPACK_PACKAGE_CONTACT "vexa-gpio developers <vexa-gpio@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL tool simulator)

set(CPACK_COMPONENT_TOOL_DISPLAY_NAME "vexa-gpio")
set(CPACK_COMPONENT_TOOL_DESCRIPTION
    "Shows and programs the GPIO bank settings of frame-grabber boards. Needs the board maker's hardware and auxiliary-port libraries in the same bin folder.")
set(CPACK_COMPONENT_SIMULATOR_DISPLAY_NAME "vexa-gpio board simulator")
set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION
    "Stand-ins for the board maker's hardware and auxiliary-port libraries that simulate boards, and vexa-sim to show and control them. Not for a machine with the board maker's software.")
set(CPACK_COMPONENT_SIMULATOR_DEPENDS tool)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
endif()

# Archives, one per component, hold an installation directory's files as they are
# (bin/...): unpacked into one folder, they make an installation.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

# Debian: vexa-gpio and vexa-gpio-simulator, under /usr.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME vexa-gpio)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME vexa-gpio-simulator)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tool links the auxiliary-port library, which comes from the simulator package
# or the board maker, not from a Debian package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_TOOL_PACKAGE_SUGGESTS vexa-gpio-simulator)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Both packages get the project's description as their summary line.
set(CPACK_DEBIAN_TOOL_DESCRIPTION
"The tool: shows and programs the output inversion, input pull resistors and
input signal type of each GPIO bank of a frame-grabber board.
It looks for the board maker's hardware library in /usr/bin and needs the
auxiliary-port library there to start: install vexa-gpio-simulator to try it
without a board.")
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION
"The board simulator: stand-ins for the board maker's hardware and
auxiliary-port libraries that simulate frame-grabber boards and their GPIO
expanders, and vexa-sim to show and control them.
Not for a machine with the board maker's software.")

include(CPack)
