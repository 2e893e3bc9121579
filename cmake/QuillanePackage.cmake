# `cpack -G DEB` (what `make deb` runs): one Debian package, quillane_<version>_<arch>.deb,
# holding everything `cmake --install` puts under /usr.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillane)
set(CPACK_PACKAGE_VERSION ${QUILLANE_RELEASE})
set(CPACK_PACKAGE_CONTACT "Quillane maintainers <maintainers@quillane.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "resize all the pictures of a folder to one size")
# Lines of at most 72 characters, as Debian's tools want them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quillane stretches every .jpg and .bmp picture directly in a folder\n"
    "to exactly the width and height typed in pixels, and saves each\n"
    "beside the original as a JPEG file of quality 90, named with the\n"
    "prefix 处理后. The originals are left as they are.\n"
    "\n"
    "The package holds the window program, quillane, and quillane-batch,\n"
    "the same run from a terminal or a script.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; what it cannot see is added here: the window's
# Chinese texts need a Song/Ming face (the window asks for UMing first, then Noto CJK), and
# Qt opens no window without its platform plugins, which Qt itself only recommends.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming | fonts-noto-cjk, qt6-qpa-plugins")

include(CPack)
