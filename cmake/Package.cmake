# Installation into the system folders (GNUInstallDirs) and the Debian package built by cpack
# (scripts/package). Programs go to bin, the compiled parameter data files to share/varimon/Data,
# where the programs look for them when they are installed.

set(VARIMON_PACKAGE_SOURCE ${PROJECT_SOURCE_DIR}/data/package)
set(VARIMON_PACKAGE_BUILD ${CMAKE_BINARY_DIR}/package-files)
set(VARIMON_ICON_SIZES 16 22 24 32 48 64 128 256)
option(VARIMON_INSTALL_UDEV_RULE "Install the USB serial adapter udev rule active in lib/udev/rules.d" OFF)

set(VARIMON_PROGRAMS)
foreach(program varimon varimonctl varimon-sim varimon-datac)
  if(TARGET ${program})
    list(APPEND VARIMON_PROGRAMS ${program})
  endif()
endforeach()
install(TARGETS ${VARIMON_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET vm_data)
  install(DIRECTORY ${VARIMON_DATA_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/varimon/Data
          FILES_MATCHING PATTERN "*.dat")
endif()

install(FILES ${VARIMON_PACKAGE_SOURCE}/varimon.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VARIMON_PACKAGE_SOURCE}/com.kxec.varimon.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VARIMON_PACKAGE_SOURCE}/varimon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${VARIMON_PACKAGE_SOURCE}/60-varimon-serial.rules DESTINATION ${CMAKE_INSTALL_DATADIR}/varimon/udev)
if(VARIMON_INSTALL_UDEV_RULE)
  install(FILES ${VARIMON_PACKAGE_SOURCE}/60-varimon-serial.rules DESTINATION lib/udev/rules.d)
endif()

# Files under share/doc and share/man are compressed the way Debian wants them (gzip -9n).
find_program(VARIMON_GZIP gzip REQUIRED)
configure_file(${VARIMON_PACKAGE_SOURCE}/changelog.in ${VARIMON_PACKAGE_BUILD}/changelog.in/changelog @ONLY)
set(VARIMON_PACKAGE_OUTPUTS ${VARIMON_PACKAGE_BUILD}/changelog.gz)
add_custom_command(
  OUTPUT ${VARIMON_PACKAGE_BUILD}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${VARIMON_PACKAGE_BUILD}/changelog.in/changelog ${VARIMON_PACKAGE_BUILD}
  COMMAND ${VARIMON_GZIP} -9nf ${VARIMON_PACKAGE_BUILD}/changelog
  DEPENDS ${VARIMON_PACKAGE_BUILD}/changelog.in/changelog
  VERBATIM)
install(FILES ${VARIMON_PACKAGE_SOURCE}/copyright ${VARIMON_PACKAGE_BUILD}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varimon)

# PNG icons rendered from the SVG.
find_program(VARIMON_RSVG rsvg-convert)
if(VARIMON_RSVG)
  foreach(size ${VARIMON_ICON_SIZES})
    set(png ${VARIMON_PACKAGE_BUILD}/icons/${size}x${size}/varimon.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VARIMON_PACKAGE_BUILD}/icons/${size}x${size}
      COMMAND ${VARIMON_RSVG} -w ${size} -h ${size} -o ${png} ${VARIMON_PACKAGE_SOURCE}/varimon.svg
      DEPENDS ${VARIMON_PACKAGE_SOURCE}/varimon.svg
      VERBATIM)
    list(APPEND VARIMON_PACKAGE_OUTPUTS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(STATUS "rsvg-convert not found: only the scalable icon is installed")
endif()

# Man pages from the programs' own --help and --version, with the sections of man/*.h2m.
find_program(VARIMON_HELP2MAN help2man)
if(VARIMON_HELP2MAN)
  set(man_varimon "inverter network monitor for an RS-485 line")
  set(man_varimonctl "headless master of an RS-485 inverter line")
  set(man_varimon-sim "simulated line of inverters for Varimon")
  set(man_varimon-datac "compile Varimon parameter data files")
  foreach(program ${VARIMON_PROGRAMS})
    set(page ${VARIMON_PACKAGE_BUILD}/man/${program}.1)
    set(include ${VARIMON_PACKAGE_SOURCE}/man/${program}.h2m)
    set(include_args)
    if(EXISTS ${include})
      set(include_args --include=${include})
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VARIMON_PACKAGE_BUILD}/man
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
              ${VARIMON_HELP2MAN} --no-info --section=1 "--name=${man_${program}}" ${include_args}
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${VARIMON_GZIP} -9nf ${page}
      DEPENDS ${program} ${include}
      VERBATIM)
    list(APPEND VARIMON_PACKAGE_OUTPUTS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "help2man not found: no man pages are built")
endif()
add_custom_target(vm_package_files ALL DEPENDS ${VARIMON_PACKAGE_OUTPUTS})

# The Debian package: varimon_<version>_<arch>.deb, dependencies from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varimon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varimon maintainers")
set(CPACK_PACKAGE_CONTACT "Varimon maintainers <maintainers@varimon.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "commissioning and supervision of inverters on an RS-485 line
Varimon is the master of one RS-485 multi-drop line of variable-frequency
inverters (motor drives), through a built-in serial port or a USB adapter,
speaking the drives' ASCII protocol KX485 or Modbus-RTU. It scans the line,
watches up to 32 drives live, keeps a fault history and an event log, and
opens a keypad, a parameter editor and a four-channel graph monitor per drive.
.
The package also holds varimonctl, a command-line master for scripts,
varimon-sim, a simulated line of drives on a pseudo-terminal, varimon-datac,
the parameter data-file compiler, and the parameter data files.")
include(CPack)
