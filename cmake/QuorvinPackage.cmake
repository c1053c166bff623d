# The Debian package: `cpack -G DEB` in the build tree packs what `cmake --install` installs below
# /usr. The shared-library dependencies come from dpkg-shlibdeps; the ODBC drivers the programs load
# at run time (the project file and the sample go through the SQLite driver) are named by hand,
# since no program links them.
set(CPACK_PACKAGE_NAME "quorvin")
set(CPACK_PACKAGE_VENDOR "Pellmar")
set(CPACK_PACKAGE_CONTACT "Pellmar Quorvin maintainers <quorvin@pellmar.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "code generator for database applications")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvin connects a project to a relational database, imports its tables and columns, lets the
user annotate them and generates source files from template models. The package holds the window
program quorvin, the headless quorvin-cli, the progress server and the shipped models.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "quorvin")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.pellmar.example/quorvin")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# stavelin is the package's own library, found through the programs' $ORIGIN run path.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/quorvin")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsqliteodbc, unixodbc")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql")
# Debug information stays in the build tree, not on the user's machine.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
include(CPack)
