# Install layout, desktop integration and the Debian package.
include(GNUInstallDirs)

set(VELTRIN_APP_ID "org.veltrin.Veltrin")
set(VELTRIN_PLUGIN_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/veltrin"
    CACHE STRING "Where the run-time loaded modules are installed, below the prefix")

# The executable finds its modules relative to itself, so an unpacked package runs from any root.
if(IS_ABSOLUTE "${VELTRIN_PLUGIN_INSTALL_DIR}")
  set(plugin_full_dir "${VELTRIN_PLUGIN_INSTALL_DIR}")
else()
  set(plugin_full_dir "${CMAKE_INSTALL_PREFIX}/${VELTRIN_PLUGIN_INSTALL_DIR}")
endif()
file(RELATIVE_PATH VELTRIN_PLUGIN_DIR "${CMAKE_INSTALL_FULL_BINDIR}" "${plugin_full_dir}")
target_compile_definitions(veltrin_app PUBLIC VELTRIN_PLUGIN_DIR="${VELTRIN_PLUGIN_DIR}")

install(TARGETS veltrin RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(TARGETS ${VELTRIN_PREVIEW_MODULE_TARGET} LIBRARY DESTINATION "${VELTRIN_PLUGIN_INSTALL_DIR}")

set(data_dir "${PROJECT_SOURCE_DIR}/data")
install(FILES "${data_dir}/${VELTRIN_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${data_dir}/${VELTRIN_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${data_dir}/icons/${VELTRIN_APP_ID}.svg"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# The bitmap sizes are rendered from the one drawing.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_pngs)
foreach(size IN ITEMS 16 22 24 32 48 64 128 256 512)
  set(png "${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/${VELTRIN_APP_ID}.png")
  add_custom_command(OUTPUT "${png}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}"
    COMMAND "${RSVG_CONVERT}" -w ${size} -h ${size} -o "${png}" "${data_dir}/icons/${VELTRIN_APP_ID}.svg"
    DEPENDS "${data_dir}/icons/${VELTRIN_APP_ID}.svg"
    VERBATIM)
  list(APPEND icon_pngs "${png}")
  install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
endforeach()
add_custom_target(veltrin_icons ALL DEPENDS ${icon_pngs})

# Debian wants the copyright and a compressed changelog beside every package.
set(doc_dir "${CMAKE_INSTALL_DATADIR}/doc/veltrin")
install(FILES "${data_dir}/copyright" DESTINATION "${doc_dir}")
set(changelog "${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz")
configure_file("${data_dir}/changelog.Debian.in" "${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian" @ONLY)
add_custom_command(OUTPUT "${changelog}"
  COMMAND gzip -n -9 -c "${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian" > "${changelog}"
  DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian")
add_custom_target(veltrin_changelog ALL DEPENDS "${changelog}")
install(FILES "${changelog}" DESTINATION "${doc_dir}")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "veltrin")
set(CPACK_PACKAGE_VENDOR "Veltrin")
set(CPACK_PACKAGE_CONTACT "Veltrin developers <developers@veltrin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the signatures of Apple Mail")
set(CPACK_PACKAGE_DESCRIPTION
  "Veltrin lists the signatures in Apple Mail's signatures folder with the\naccounts that use them, shows each as a live preview or as HTML code, and\nsaves edits behind a timestamped backup copy.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "mail")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_RELEASE "${VELTRIN_BUILD_NUMBER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so dpkg-shlibdeps cannot see it: the window icon is an SVG.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
include(CPack)
