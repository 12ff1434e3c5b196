# What "cmake --install" lays out and how CPack packs it, in two components:
#
#   tool       bin/vexa-gpio, its man page and bash completion
#   simulator  the stand-ins for the board maker's libraries, vexa-sim, its man page
#              and bash completion
#
# The tool finds the hardware library through its own location (<prefix>/bin/vexa-gpio
# gives the installation directory <prefix>, and so <prefix>/bin/libvexa_hal.so) and
# needs the auxiliary-port library beside it to start. So the simulator's libraries
# go into bin/ as well, and the tool alone belongs in the bin folder of the board
# maker's installation, next to the real libraries, which the simulator's files
# must never overwrite: hence a package of its own for each component.
#
# The Debian packages lay the same files out as Debian does a program with private
# libraries: the tool and the libraries in /usr/lib/vexa-gpio/bin, so that their
# installation directory is /usr/lib/vexa-gpio, and /usr/bin/vexa-gpio a symbolic
# link to the tool. The tool resolves its own path (links followed) before looking
# for the bin folder, and the loader resolves $ORIGIN the same way, so the link
# leads to the libraries. Those files come from the components deb-tool and
# deb-simulator, which only cpack's DEB generator installs.

include(GNUInstallDirs)

set(vexa_completions ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
set(vexa_man1 ${CMAKE_INSTALL_MANDIR}/man1)

install(TARGETS vexa-gpio RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
# DLLs are runtime files on Windows, shared objects library files elsewhere; both go
# into bin/. Import libraries are for building against the libraries, which no
# package is for: they are in a component of their own that nothing installs.
install(TARGETS vexa_hal vexa_auxport vexa-sim
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator
        LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT import-libraries EXCLUDE_FROM_ALL)

set(vexa_packaging ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${vexa_packaging})
if(WIN32)
  # Text files with Windows line ends, for any editor there.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt ${vexa_packaging}/README.txt
                 @ONLY NEWLINE_STYLE WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${vexa_packaging}/LICENSE.txt @ONLY NEWLINE_STYLE WIN32)
  install(FILES ${vexa_packaging}/README.txt DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tool)
  foreach(component IN ITEMS tool simulator)
    install(FILES ${vexa_packaging}/LICENSE.txt DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${component})
  endforeach()

  # The zips, which cpack's ZIP generator packs from the components zip-tool and
  # zip-simulator, each file under one folder of the zip's own name. The tool's holds
  # no folder that the tool's walk to its installation directory would stop at (bin,
  # dll, lib, ...): unpacked anywhere, it reads VEXADIR5_64, and copied into a maker's
  # bin folder, it finds the maker's library there. The simulator's is the whole
  # installation to try the tool without a board: the tool and the stand-ins in a bin
  # folder of its own, where they find each other wherever it is unpacked, and where
  # they replace nothing of a maker's. The two zips share no file, so they unpack into
  # one folder without a question.
  set(vexa_zip_tool ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
  set(vexa_zip_simulator ${vexa_zip_tool}-simulator)
  install(TARGETS vexa-gpio RUNTIME DESTINATION ${vexa_zip_tool} COMPONENT zip-tool EXCLUDE_FROM_ALL)
  install(TARGETS vexa-gpio vexa_hal vexa_auxport vexa-sim
          RUNTIME DESTINATION ${vexa_zip_simulator}/bin COMPONENT zip-simulator EXCLUDE_FROM_ALL
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT import-libraries EXCLUDE_FROM_ALL)
  foreach(zip IN ITEMS tool simulator)
    install(FILES ${vexa_packaging}/README.txt ${vexa_packaging}/LICENSE.txt
            DESTINATION ${vexa_zip_${zip}} COMPONENT zip-${zip} EXCLUDE_FROM_ALL)
    string(TOUPPER ${zip} component)
    set(CPACK_ARCHIVE_ZIP-${component}_FILE_NAME ${vexa_zip_${zip}})
  endforeach()
else()
  foreach(program_component IN ITEMS vexa-gpio:tool vexa-sim:simulator)
    string(REPLACE ":" ";" program_component ${program_component})
    list(GET program_component 0 program)
    list(GET program_component 1 component)
    install(FILES ${PROJECT_SOURCE_DIR}/doc/${program}.1 DESTINATION ${vexa_man1} COMPONENT ${component})
    install(FILES ${PROJECT_SOURCE_DIR}/completion/${program}.bash
            DESTINATION ${vexa_completions} RENAME ${program} COMPONENT ${component})
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${component})
  endforeach()
endif()

set(CPACK_PACKAGE_NAME vexa-gpio)
set(CPACK_PACKAGE_VENDOR "the vexa-gpio authors")
# A role address of the project, for the Debian Maintainer field.
set(CPACK_PACKAGE_CONTACT "vexa-gpio maintainers <maintainers@vexa-gpio.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL tool simulator)
# Per generator: the DEB generator packs the Debian layout's components instead.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/CPackProjectConfig.cmake)

set(CPACK_COMPONENT_TOOL_DISPLAY_NAME "vexa-gpio")
set(CPACK_COMPONENT_TOOL_DESCRIPTION
    "Shows and programs the GPIO bank settings of frame-grabber boards. Needs the board maker's hardware and auxiliary-port libraries in the same bin folder.")
set(CPACK_COMPONENT_SIMULATOR_DISPLAY_NAME "vexa-gpio board simulator")
set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION
    "Stand-ins for the board maker's hardware and auxiliary-port libraries that simulate boards, and vexa-sim to show and control them. Not for a machine with the board maker's software.")

if(WIN32)
  # The MSIs, for sites that install unattended with msiexec: built with wixl
  # (packaging/Msi.cmake) from the files each zip installs, so that both ship the same.
  # The tool's goes into the maker's bin folder, the simulator's into a folder of its
  # own; each is named like its zip.
  find_program(VEXA_WIXL wixl REQUIRED)
  set(vexa_msi_files ${vexa_packaging}/msi)
  set(vexa_msi_depends_tool vexa-gpio)
  set(vexa_msi_depends_simulator vexa-gpio vexa_hal vexa_auxport vexa-sim)
  set(vexa_msis "")
  foreach(msi IN ITEMS tool simulator)
    set(files ${vexa_msi_files}/${vexa_zip_${msi}})
    set(output ${CMAKE_BINARY_DIR}/${vexa_zip_${msi}}.msi)
    add_custom_command(OUTPUT ${output}
                       COMMAND ${CMAKE_COMMAND} -E rm -rf ${files}
                       COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component zip-${msi}
                               --prefix ${vexa_msi_files} --strip
                       COMMAND ${CMAKE_COMMAND} -DWIXL=${VEXA_WIXL} -DPRODUCT=${msi} -DVERSION=${PROJECT_VERSION}
                               "-DMANUFACTURER=${CPACK_PACKAGE_VENDOR}" -DFILES=${files} -DOUTPUT=${output}
                               -P ${PROJECT_SOURCE_DIR}/packaging/Msi.cmake
                       DEPENDS ${vexa_msi_depends_${msi}} ${vexa_packaging}/README.txt ${vexa_packaging}/LICENSE.txt
                               ${PROJECT_SOURCE_DIR}/packaging/Msi.cmake
                               ${PROJECT_SOURCE_DIR}/packaging/vexa-gpio-${msi}.wxs
                       COMMENT "Building ${vexa_zip_${msi}}.msi"
                       VERBATIM)
    list(APPEND vexa_msis ${output})
  endforeach()
  add_custom_target(vexa-msi ALL DEPENDS ${vexa_msis})

  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
endif()

# Archives, one per component. The Linux ones hold an installation directory's files
# as they are (bin/...): unpacked into one folder, they make an installation. The
# Windows zips have a layout of their own (above).
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

if(NOT WIN32 AND CMAKE_CROSSCOMPILING)
  # Built for another processor: the archives say which, beside the host's
  # (vexa-gpio-<version>-Linux-aarch64-tool.tar.gz), and the .debs are for its
  # Debian architecture, which dpkg on the host would not name.
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  else()
    message(FATAL_ERROR "No Debian architecture known for ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()

if(NOT WIN32)
  # Debian: vexa-gpio and vexa-gpio-simulator, under /usr, in the layout described above.
  set(vexa_deb_private lib/vexa-gpio/bin)
  install(TARGETS vexa-gpio RUNTIME DESTINATION ${vexa_deb_private} COMPONENT deb-tool EXCLUDE_FROM_ALL)
  install(TARGETS vexa_hal vexa_auxport
          LIBRARY DESTINATION ${vexa_deb_private} COMPONENT deb-simulator EXCLUDE_FROM_ALL)
  install(TARGETS vexa-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT deb-simulator EXCLUDE_FROM_ALL)
  file(RELATIVE_PATH vexa_link_target /usr/${CMAKE_INSTALL_BINDIR} /usr/${vexa_deb_private}/vexa-gpio)
  file(MAKE_DIRECTORY ${vexa_packaging}/link)
  file(CREATE_LINK ${vexa_link_target} ${vexa_packaging}/link/vexa-gpio SYMBOLIC)
  install(FILES ${vexa_packaging}/link/vexa-gpio DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT deb-tool EXCLUDE_FROM_ALL)

  # The copyright file in Debian's machine-readable format, with the licence's
  # permission text from LICENSE, each line indented and blank lines as " .".
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE VEXA_LICENSE_TEXT)
  string(REGEX REPLACE "^.*Copyright \\(c\\)[^\n]*\n\n" "" VEXA_LICENSE_TEXT "${VEXA_LICENSE_TEXT}")
  string(STRIP "${VEXA_LICENSE_TEXT}" VEXA_LICENSE_TEXT)
  string(REPLACE "\n\n" "\n.\n" VEXA_LICENSE_TEXT "${VEXA_LICENSE_TEXT}")
  string(REPLACE "\n" "\n " VEXA_LICENSE_TEXT " ${VEXA_LICENSE_TEXT}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${vexa_packaging}/copyright @ONLY)

  # Debian wants man pages and changelogs compressed, without a time stamp.
  find_program(VEXA_GZIP gzip REQUIRED)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(VEXA_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  set(vexa_deb_files "")
  foreach(package_component IN ITEMS vexa-gpio:deb-tool:vexa-gpio vexa-gpio-simulator:deb-simulator:vexa-sim)
    string(REPLACE ":" ";" package_component ${package_component})
    list(GET package_component 0 VEXA_DEB_PACKAGE)
    list(GET package_component 1 component)
    list(GET package_component 2 program)
    set(folder ${vexa_packaging}/${VEXA_DEB_PACKAGE})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${folder}/changelog.Debian @ONLY)
    add_custom_command(OUTPUT ${folder}/changelog.Debian.gz ${folder}/${program}.1.gz
                       COMMAND ${VEXA_GZIP} -9nkf ${folder}/changelog.Debian
                       COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/${program}.1 ${folder}/${program}.1
                       COMMAND ${VEXA_GZIP} -9nf ${folder}/${program}.1
                       DEPENDS ${folder}/changelog.Debian ${PROJECT_SOURCE_DIR}/doc/${program}.1
                       VERBATIM)
    list(APPEND vexa_deb_files ${folder}/changelog.Debian.gz ${folder}/${program}.1.gz)
    install(FILES ${folder}/${program}.1.gz DESTINATION ${vexa_man1} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/completion/${program}.bash
            DESTINATION ${vexa_completions} RENAME ${program} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${vexa_packaging}/copyright ${folder}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VEXA_DEB_PACKAGE} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${VEXA_DEB_PACKAGE}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
  add_custom_target(vexa-deb-files ALL DEPENDS ${vexa_deb_files})

  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_DEB-TOOL_PACKAGE_NAME vexa-gpio)
  set(CPACK_DEBIAN_DEB-SIMULATOR_PACKAGE_NAME vexa-gpio-simulator)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The tool links the auxiliary-port library, which comes from the simulator package
  # or the board maker, not from a Debian package.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  # Any package that puts the auxiliary-port library (and the hardware library) into
  # /usr/lib/vexa-gpio/bin provides vexa-auxport-library: the simulator's, or one of
  # the board maker's. The tool cannot start without it, so dpkg refuses to unpack
  # the tool before it is there, rather than leave a command that fails.
  set(CPACK_DEBIAN_DEB-TOOL_PACKAGE_PREDEPENDS vexa-auxport-library)
  set(CPACK_DEBIAN_DEB-TOOL_PACKAGE_SUGGESTS vexa-gpio-simulator)
  # The completions the packages install work only with bash-completion.
  set(CPACK_DEBIAN_DEB-TOOL_PACKAGE_RECOMMENDS bash-completion)
  set(CPACK_DEBIAN_DEB-SIMULATOR_PACKAGE_RECOMMENDS bash-completion)
  set(CPACK_DEBIAN_DEB-SIMULATOR_PACKAGE_PROVIDES vexa-auxport-library)
  set(CPACK_DEBIAN_DEB-SIMULATOR_PACKAGE_ENHANCES vexa-gpio)
  # The first line of each is the package's summary line.
  set(CPACK_DEBIAN_DEB-TOOL_DESCRIPTION
"show and program GPIO bank settings of frame-grabber boards
vexa-gpio shows and programs the output inversion, input pull resistors and
input signal type of each GPIO bank of a frame-grabber board, through the
board maker's hardware and auxiliary-port libraries.
It needs a package that provides vexa-auxport-library: the board maker's, or
vexa-gpio-simulator to try the tool without a board.")
  set(CPACK_DEBIAN_DEB-SIMULATOR_DESCRIPTION
"simulated frame-grabber boards for vexa-gpio
Stand-ins for the board maker's hardware and auxiliary-port libraries that
simulate frame-grabber boards and their GPIO expanders, and vexa-sim to show
and control them.
Installed together with vexa-gpio, which finds the stand-ins in its own
installation directory, it lets the tool run without a board. Not for a
machine with the board maker's software.")
endif()

include(CPack)
