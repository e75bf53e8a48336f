# The Debian package velarium_<version>_<arch>.deb: everything the project
# installs, under /usr, made by CPack's DEB generator (scripts/package.sh).
#
# No maintainer scripts: the MIME package, the desktop entry and the icon are
# picked up by the dpkg file triggers of shared-mime-info, desktop-file-utils
# and the icon cache on install and on removal, and GStreamer notices a new
# or removed plugin by itself when it next scans its plugin folders.

# Debian's documents for the package: the copyright file and the changelog,
# gzipped without a name or time stamp in the header so that the package is
# the same on every build.
set(VELARIUM_DEBIAN_DIR ${CMAKE_CURRENT_BINARY_DIR}/debian)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/debian/changelog.in ${VELARIUM_DEBIAN_DIR}/changelog @ONLY)
execute_process(COMMAND gzip -9 -n -c ${VELARIUM_DEBIAN_DIR}/changelog
  OUTPUT_FILE ${VELARIUM_DEBIAN_DIR}/changelog.gz
  RESULT_VARIABLE gzip_status)
if(NOT gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the Debian changelog")
endif()
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/debian/copyright ${VELARIUM_DEBIAN_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velarium)

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME velarium)
set(CPACK_PACKAGE_VENDOR Brackwater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Brackwater <velarium@brackwater.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer and player for Amiga IFF ANIM animations")
set(CPACK_PACKAGE_DESCRIPTION
"Velarium opens the animations made with Deluxe Paint and other Amiga
programs, stored as IFF ANIM files, and plays them at their own speed, frame
by frame or from any point, with their own colours, including Extra
Half-Brite and HAM modes. It also unpacks LHA archives.

The package includes a GStreamer plugin, so that GNOME Videos, file-manager
thumbnails and other GStreamer applications open ANIM files too, a thumbnail
plugin for Dolphin, and velarium-tool, which prints an animation's facts and
exports its frames.")
# Whatever the build tree was configured with, the package installs under /usr.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_THREADS 0)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://brackwater.com/velarium)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# Library dependencies come from the linked shared libraries (dpkg-shlibdeps).
# Qt loads its platform plugins at run time, so those are named here: without
# them the application cannot open a window. The GStreamer plugin is of use
# to applications that build pipelines with the base elements (decodebin,
# playbin, videoconvert). Exporting video needs the VP9 encoder and the WebM
# and MP4 muxers (good) and the H.264 encoder through openh264 (bad), also
# loaded at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad")
# The Dolphin thumbnail plugin is of use only where kio-extras's thumbnail
# worker loads it, and kio-extras depends on the KDE and Qt 5 libraries the
# plugin links. So those are left out of the package's dependencies (CPack
# runs dpkg-shlibdeps through a script that passes the plugin over), and the
# package enhances kio-extras instead: a GNOME desktop does not get Qt 5 and
# KDE Frameworks with it.
if(VELARIUM_KDE_THUMBNAILER)
  set(CPACK_DEBIAN_PACKAGE_ENHANCES kio-extras)
  set(VELARIUM_CPACK_PROJECT_CONFIG ${CMAKE_CURRENT_BINARY_DIR}/CPackProjectConfig.cmake)
  file(WRITE ${VELARIUM_CPACK_PROJECT_CONFIG}
    "set(SHLIBDEPS_EXECUTABLE \"${CMAKE_CURRENT_SOURCE_DIR}/debian/shlibdeps-without-dolphin-plugin.sh\")\n")
  set(CPACK_PROJECT_CONFIG_FILE ${VELARIUM_CPACK_PROJECT_CONFIG})
endif()
include(CPack)

# What the package holds and its checks are set up at the end of the project,
# when every target, the GStreamer plugin among them, is known.
function(velarium_package_checks)
  set(contents velarium velarium-tool farrago dapple velarium_man_pages)
  set(plugin "")
  if(TARGET gstvelarium)
    list(APPEND contents gstvelarium)
    set(plugin "usr/${VELARIUM_GST_PLUGIN_INSTALL_DIR}/$<TARGET_FILE_NAME:gstvelarium>")
  endif()
  set(thumbnailer "")
  if(TARGET velariumthumbnail)
    list(APPEND contents velariumthumbnail)
    set(thumbnailer "usr/${VELARIUM_KDE_PLUGIN_INSTALL_DIR}/$<TARGET_FILE_NAME:velariumthumbnail>")
  endif()
  # Every target with an install rule: what scripts/package.sh builds before
  # packaging, so that it need not build the tests.
  add_custom_target(velarium_package_contents DEPENDS ${contents})

  # A package of a sanitizer build, or of a tree meant for another prefix,
  # would not be the one users get.
  find_program(VELARIUM_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(VELARIUM_SANITIZE OR NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr" OR NOT CMAKE_BUILD_TYPE STREQUAL "Release"
     OR NOT VELARIUM_DPKG_SHLIBDEPS)
    message(STATUS "Debian package checks left out: they need a Release build with CMAKE_INSTALL_PREFIX=/usr, "
                   "without sanitizers, and dpkg-shlibdeps (dpkg-dev)")
    return()
  endif()
  set(tests ${PROJECT_SOURCE_DIR}/tests/packaging)
  set(work ${PROJECT_BINARY_DIR}/packaging/checks/deb)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(deb ${work}/velarium_${PROJECT_VERSION}_${arch}.deb)
  # Built from this tree, never installed here: an installed plugin would
  # shadow the one the GStreamer tests load from the build.
  add_test(NAME packaging_deb_build
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/package.sh --build-dir ${PROJECT_BINARY_DIR} --output ${work})
  add_test(NAME packaging_deb_contents
    COMMAND sh ${tests}/check_deb_contents.sh ${deb} ${PROJECT_VERSION} "${plugin}" "${thumbnailer}")
  add_test(NAME packaging_deb_lintian COMMAND sh ${tests}/check_deb_lintian.sh ${deb})
  set_tests_properties(packaging_deb_build PROPERTIES FIXTURES_SETUP velarium_deb)
  set_tests_properties(packaging_deb_contents packaging_deb_lintian PROPERTIES FIXTURES_REQUIRED velarium_deb)
  set_tests_properties(packaging_deb_build packaging_deb_contents packaging_deb_lintian
    PROPERTIES LABELS packaging SKIP_RETURN_CODE 77 TIMEOUT 600)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL velarium_package_checks)
