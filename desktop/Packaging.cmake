# The Debian package (`make package`, or `cpack -G DEB` in the build folder): what
# desktop/CMakeLists.txt installs, under /usr, stripped. Its dependencies are the run-time
# libraries found by dpkg-shlibdeps plus the programs and plug-ins the binaries load or start;
# nothing that is only needed to build.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlewick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Brindlewick Developers <dev@brindlewick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ingest photographs from memory cards, folders and cameras")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Brindlewick copies the pictures of a shoot from a memory card, any folder or
a connected camera into folder trees named from each picture's metadata, with
up to two backups. It skips duplicates, verifies JPEG files, verifies or
converts raw files to DNG with an external converter, writes IPTC and XMP
metadata and adds positions from GPX tracks. A card put in is offered at once
and can be ejected afterwards. The package holds the desktop program and the
command-line tool brindlewick-cli.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Loaded or started, not linked: the window system's platform plug-in, libgphoto2 (opened when
# a camera is first looked for; it brings its port library and drivers), and ExifTool for camera
# files Exiv2 cannot read and for positions. (The web engine's helper process comes with the
# web engine library's own dependencies.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libgphoto2-6, libimage-exiftool-perl")
# GPS devices and tracks in other formats, cards and eject, Wayland sessions.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gpsbabel, udisks2, qt6-wayland")
include(CPack)
