# Installs the build into a fresh prefix and checks that the program, its desktop entry, its
# icons, manual pages and metainfo are where a desktop and man look for them, and that the entry
# starts the installed program.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/velmora share/applications/velmora.desktop share/icons/hicolor/scalable/apps/velmora.svg
             share/icons/hicolor/16x16/apps/velmora.png share/icons/hicolor/256x256/apps/velmora.png
             share/man/man1/velmora.1.gz share/man/ja/man1/velmora.1.gz
             share/metainfo/velmora.metainfo.xml share/doc/velmora/copyright)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/velmora.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=velmora" "Icon=velmora")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
  endif()
endforeach()
file(READ "${PREFIX}/share/icons/hicolor/scalable/apps/velmora.svg" icon LIMIT 200)
if(NOT icon MATCHES "<svg")
  message(FATAL_ERROR "the icon is not an SVG image")
endif()
file(REMOVE_RECURSE "${PREFIX}")
