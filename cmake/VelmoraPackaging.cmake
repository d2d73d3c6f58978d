# Packages people install: on Linux a Debian package made by CPack from the Qt program, on
# Windows (cross-built with mingw-w64) an NSIS installer and a plain zip around velmora.exe.
# Both are named after the project's version.

# The day the version above was released: the AppStream release entry and the Debian changelog.
set(VELMORA_RELEASE_DATE 2026-12-07)
set(VELMORA_PACKAGE_MAINTAINER "Velmora developers <velmora@example.org>"
    CACHE STRING "The maintainer named in the Debian package")

if(UNIX AND TARGET velmora)
  include(GNUInstallDirs)
  set(generated ${PROJECT_BINARY_DIR}/package)
  # Debian keeps a package's documents under its own name, whatever the project is called.
  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/velmora)

  # Icons for desktops that do not draw SVG, beside the scalable one; velmora-icon-png draws them
  # anew from the window's icon.
  add_executable(velmora-icon-png ${PROJECT_SOURCE_DIR}/tools/icon_png.cpp)
  target_link_libraries(velmora-icon-png PRIVATE velmora_qt)
  set_target_properties(velmora-icon-png PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/data/icons/hicolor/${size}x${size}/apps/velmora.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()

  configure_file(${PROJECT_SOURCE_DIR}/data/velmora.metainfo.xml.in ${generated}/velmora.metainfo.xml @ONLY)
  install(FILES ${generated}/velmora.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The manual pages, English and Japanese, compressed as Debian installs them (gzip -n keeps
  # the file's name and time out, so the same page gives the same bytes).
  find_program(VELMORA_GZIP gzip REQUIRED)
  foreach(lang en ja)
    if(lang STREQUAL "en")
      set(page_source ${PROJECT_SOURCE_DIR}/data/man/velmora.1)
      set(page_dir ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      set(page_source ${PROJECT_SOURCE_DIR}/data/man/${lang}/velmora.1)
      set(page_dir ${CMAKE_INSTALL_MANDIR}/${lang}/man1)
    endif()
    set(VERSION ${PROJECT_VERSION})
    configure_file(${page_source} ${generated}/man/${lang}/velmora.1 @ONLY)
    execute_process(COMMAND ${VELMORA_GZIP} -9 -n -f -k ${generated}/man/${lang}/velmora.1 RESULT_VARIABLE gzip_result)
    if(NOT gzip_result EQUAL 0)
      message(FATAL_ERROR "could not compress the manual page ${page_source}")
    endif()
    install(FILES ${generated}/man/${lang}/velmora.1.gz DESTINATION ${page_dir})
  endforeach()

  # The README, the licence in Debian's copyright format and a changelog of the native package.
  execute_process(COMMAND date -u -R -d "${VELMORA_RELEASE_DATE}" OUTPUT_VARIABLE VELMORA_CHANGELOG_DATE
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog.in ${generated}/changelog @ONLY)
  execute_process(COMMAND ${VELMORA_GZIP} -9 -n -f -k ${generated}/changelog)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/data/debian/copyright ${generated}/changelog.gz
          DESTINATION ${docdir})

  # The Debian package: velmora_<version>_<arch>.deb.
  find_program(VELMORA_DPKG dpkg)
  set(VELMORA_DEB_ARCH amd64)
  if(VELMORA_DPKG)
    execute_process(COMMAND ${VELMORA_DPKG} --print-architecture OUTPUT_VARIABLE VELMORA_DEB_ARCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME velmora)
  set(CPACK_PACKAGE_VENDOR "The Velmora developers")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CPACK_DEBIAN_FILE_NAME velmora_${PROJECT_VERSION}_${VELMORA_DEB_ARCH}.deb)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${VELMORA_DEB_ARCH})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries the program links (Qt 6 and the C++ runtime), named by dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-ipafont-gothic)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "telnet terminal for Japanese text
Velmora opens one telnet connection at a time and emulates a VT100 or VT52
screen. It speaks EUC-JP, Shift_JIS and UTF-8 to the host, follows 7-bit
JIS kanji shifts, and keeps every line that scrolls off the top in a
backlog that can be scrolled back through. Text is selected with the mouse,
copied and pasted; Japanese is typed through the desktop's input method.")
  set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
  include(CPack)
endif()

if(WIN32 AND TARGET velmora)
  # velmora-<version>-setup.exe (NSIS, made by makensis) and velmora-<version>-win64.zip, in
  # <build>/packages: the program without its debugging symbols, the README and the licence.
  find_program(VELMORA_MAKENSIS makensis)
  set(stage ${PROJECT_BINARY_DIR}/package-stage)
  set(out ${PROJECT_BINARY_DIR}/packages)
  set(zip_name velmora-${PROJECT_VERSION}-win64)
  set(strip_program ${CMAKE_STRIP})
  if(NOT strip_program)
    set(strip_program ${CMAKE_COMMAND} -E true)
  endif()
  add_custom_command(
    OUTPUT ${out}/${zip_name}.zip
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/${zip_name} ${out}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmora> ${stage}/${zip_name}/velmora.exe
    COMMAND ${strip_program} ${stage}/${zip_name}/velmora.exe
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${stage}/${zip_name}/README.md
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${stage}/${zip_name}/LICENSE.txt
    COMMAND ${CMAKE_COMMAND} -E rm -f ${out}/${zip_name}.zip
    COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${CMAKE_COMMAND} -E tar cf ${out}/${zip_name}.zip --format=zip ${zip_name}
    DEPENDS velmora ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    COMMENT "Packing ${zip_name}.zip")
  add_custom_target(velmora-zip DEPENDS ${out}/${zip_name}.zip)
  if(VELMORA_MAKENSIS)
    set(setup ${out}/velmora-${PROJECT_VERSION}-setup.exe)
    add_custom_command(
      OUTPUT ${setup}
      COMMAND ${VELMORA_MAKENSIS} -V2 -INPUTCHARSET UTF8
              -DVERSION=${PROJECT_VERSION}
              -DVERSION_MAJOR=${PROJECT_VERSION_MAJOR} -DVERSION_MINOR=${PROJECT_VERSION_MINOR}
              -DSTAGE=${stage}/${zip_name}
              -DICON=${PROJECT_SOURCE_DIR}/src/frontends/win32/resources/velmora.ico
              -DOUTFILE=${setup}
              ${PROJECT_SOURCE_DIR}/data/windows/velmora.nsi
      DEPENDS velmora ${PROJECT_SOURCE_DIR}/data/windows/velmora.nsi
      COMMENT "Making velmora-${PROJECT_VERSION}-setup.exe")
    # The staged files are velmora-zip's: the installer waits for that target rather than name
    # the zip as its input, which would run the staging twice at once in a parallel build.
    add_custom_target(velmora-setup DEPENDS ${setup})
    add_dependencies(velmora-setup velmora-zip)
    add_custom_target(velmora-packages DEPENDS velmora-setup velmora-zip)
  else()
    message(STATUS "makensis not found: the Windows installer is not made (Debian: nsis)")
    add_custom_target(velmora-packages DEPENDS velmora-zip)
  endif()
endif()
