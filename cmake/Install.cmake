# The installed layout (Filesystem Hierarchy Standard) and the Debian packages built from it by
# CPack: "brovana-live" (component studio: the program, its shipped files, plug-ins, man page,
# desktop entry and icon) and "brovana-live-emulator" (component emulator: zelvora-service).
include(GNUInstallDirs)

# install() rules that name no component belong to the studio.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME studio)

# The studio's private libraries: the DSP plug-ins shipped with it and its windows module. The
# build puts them at the same place below the build folder as the installation does below its
# prefix, so that the program finds them beside its bin/ folder in both cases. Each sits in a
# folder of its own: for a library right in /usr/lib/brovana-live/ the package would call ldconfig.
set(BROVANA_INSTALL_PLUGINDIR lib/brovana-live/plugins)
set(BROVANA_INSTALL_WINDOWS_MODULE lib/brovana-live/modules/windows.so)

# brovana_plugin(TARGET): builds a DSP plug-in as NAME.so into the plug-in folder and installs it.
function(brovana_plugin target)
  set_target_properties(${target} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY
                                                       ${PROJECT_BINARY_DIR}/${BROVANA_INSTALL_PLUGINDIR})
  install(TARGETS ${target} LIBRARY DESTINATION ${BROVANA_INSTALL_PLUGINDIR} COMPONENT studio)
endfunction()

# The Debian revision of the packages.
set(BROVANA_PACKAGE_RELEASE 1)

# The shipped files, the man page and the package documents.
function(brovana_install_files)
  set(share ${PROJECT_SOURCE_DIR}/share)
  set(packaging ${PROJECT_SOURCE_DIR}/packaging)
  set(datadir ${CMAKE_INSTALL_DATADIR})

  # The desktop entry and the icon go where the desktop looks for them, not into the folder that
  # seeds the working folder. Whichever of them is not there yet is left out.
  file(GLOB desktop_entries CONFIGURE_DEPENDS ${share}/*.desktop)
  file(GLOB loose_icons CONFIGURE_DEPENDS ${share}/*.png ${share}/*.svg)
  set(not_seeded PATTERN icons EXCLUDE)
  foreach(file ${desktop_entries} ${loose_icons})
    get_filename_component(name ${file} NAME)
    list(APPEND not_seeded PATTERN ${name} EXCLUDE)
  endforeach()
  install(DIRECTORY ${share}/ DESTINATION ${datadir}/brovana-live COMPONENT studio ${not_seeded})
  if(desktop_entries)
    install(FILES ${desktop_entries} DESTINATION ${datadir}/applications COMPONENT studio)
  endif()
  if(IS_DIRECTORY ${share}/icons)
    install(DIRECTORY ${share}/icons/ DESTINATION ${datadir}/icons COMPONENT studio)
  endif()
  foreach(icon ${loose_icons})
    if(icon MATCHES "\\.svg$")
      set(size scalable)
    else()
      # A PNG's width: the four bytes at offset 16, in its IHDR chunk.
      file(READ ${icon} width OFFSET 16 LIMIT 4 HEX)
      math(EXPR width "0x${width}")
      set(size ${width}x${width})
    endif()
    install(FILES ${icon} DESTINATION ${datadir}/icons/hicolor/${size}/apps COMPONENT studio)
  endforeach()

  # The man page and each package's changelog, compressed the way Debian ships them. The man
  # page's OPTIONS section is written from the program's option table (src/app), as --help is.
  set(generated ${PROJECT_BINARY_DIR}/packaging)
  configure_file(${packaging}/changelog.in ${generated}/changelog.Debian @ONLY)
  set(documents ${generated}/changelog.Debian)
  if(BROVANA_APP AND NOT BROVANA_FUZZ)
    add_custom_command(
      OUTPUT ${generated}/brovana-live.1
      COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:brovana-man-options> -DPAGE=${packaging}/brovana-live.1.in -DPROJECT_VERSION=${PROJECT_VERSION}
              -DOUTPUT=${generated}/brovana-live.1 -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      DEPENDS brovana-man-options ${packaging}/brovana-live.1.in ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake VERBATIM)
    list(APPEND documents ${generated}/brovana-live.1)
    install(FILES ${generated}/brovana-live.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT studio)
  endif()
  set(compressed)
  foreach(file ${documents})
    get_filename_component(name ${file} NAME)
    add_custom_command(OUTPUT ${generated}/${name}.gz COMMAND sh -c "gzip -9nc '${file}' > '${name}.gz'"
                       WORKING_DIRECTORY ${generated} DEPENDS ${file} VERBATIM)
    list(APPEND compressed ${generated}/${name}.gz)
  endforeach()
  add_custom_target(packaging_files ALL DEPENDS ${compressed})

  # The headless studio as a systemd user service, for the packages, which install below /usr.
  set(BROVANA_SERVICE_PROGRAM /usr/${CMAKE_INSTALL_BINDIR}/brovana-live)
  configure_file(${packaging}/brovana-live.service.in ${generated}/brovana-live.service @ONLY)
  install(FILES ${generated}/brovana-live.service DESTINATION lib/systemd/user COMPONENT studio)
  foreach(component_package studio:brovana-live emulator:brovana-live-emulator)
    string(REPLACE ":" ";" pair ${component_package})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${packaging}/copyright ${generated}/changelog.Debian.gz DESTINATION ${datadir}/doc/${package}
            COMPONENT ${component})
  endforeach()
endfunction()
brovana_install_files()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brovana-live)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zelvora")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL studio emulator)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${BROVANA_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SOURCE brovana-live)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brovana-Live developers <studio@zelvora.example>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are the packages of the libraries the programs and the windows module link, as
# dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_STUDIO_PACKAGE_NAME brovana-live)
# Qt loads the program's SVG icon through a plug-in of this package, which no binary links; the
# program loads libshout and PortAudio (with the JACK it needs) the same way
# (src/platform/*_on_demand.cpp).
set(CPACK_DEBIAN_STUDIO_PACKAGE_DEPENDS "libqt6svg6, libshout3, libportaudio2")
set(CPACK_DEBIAN_STUDIO_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_STUDIO_DESCRIPTION
    "live broadcasting studio for Zelvora internet radio members
Brovana-Live turns a desktop into the source of a live internet radio station
of the Zelvora service: it plays a playlist of MP3 files or records the sound
card, encodes the sound as MP3 at 16, 24, 32 or 56 kbit/s, logs in to the
member's broadcast server (SHOUTcast-style source protocol, as Icecast 2 takes
it), streams, reconnects when the line drops, and announces each track.")
set(CPACK_DEBIAN_EMULATOR_PACKAGE_NAME brovana-live-emulator)
set(CPACK_DEBIAN_EMULATOR_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_EMULATOR_DESCRIPTION
    "local emulator of the Zelvora web service for Brovana-Live
zelvora-service answers the Zelvora service's web API on a loopback port
(accounts, server and mode switches, title announcements, version check, genre
list, names file) and points members at a local broadcast server, so that
Brovana-Live can be tried and tested without the service.")
include(CPack)
