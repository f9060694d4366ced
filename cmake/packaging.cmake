# The Debian package (cpack -G DEB in the release build), the man page it
# carries and the Python module's place in it.
#
# The man page is made from `veltrane2 --help` by help2man (Debian: help2man);
# without it the build skips the page with a message.
find_program(VELTRANE2_HELP2MAN help2man)
if(VELTRANE2_HELP2MAN)
  add_custom_command(OUTPUT veltrane2.1.gz
    COMMAND ${VELTRANE2_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
            "--name=${PROJECT_DESCRIPTION}" --output=veltrane2.1 $<TARGET_FILE:veltrane2>
    COMMAND gzip -n -9 -f veltrane2.1
    DEPENDS veltrane2
    COMMENT "Man page from veltrane2 --help")
  add_custom_target(veltrane2_man ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/veltrane2.1.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/veltrane2.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found (Debian: help2man): the man page is skipped")
endif()

# The Python module goes where Debian's python3 finds modules of Debian
# packages (relative to the install prefix, /usr in the package).
if(TARGET veltrane2_python)
  set(VELTRANE2_PYTHON_INSTALL_DIR lib/python3/dist-packages CACHE STRING
      "Where the Python module is installed, relative to the prefix")
  install(TARGETS veltrane2_python LIBRARY DESTINATION ${VELTRANE2_PYTHON_INSTALL_DIR})
  install(FILES src/python/veltrane2.pyi DESTINATION ${VELTRANE2_PYTHON_INSTALL_DIR})
endif()
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

set(CPACK_PACKAGE_NAME veltrane2)
set(CPACK_PACKAGE_VENDOR "the veltrane2 developers")
set(CPACK_PACKAGE_CONTACT "the veltrane2 developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "veltrane2 finds the streak that scan-line noise draws through the Fourier spectrum of a height image and lowers it. This package holds the program veltrane2 (text and Gwyddion .gsf images), veltrane2-preview, the C++ library with its header and CMake package, the Python module for python3 and the Gwyddion module (Data Process > Correct Data > Remove Stripes (Spectral)).")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # veltrane2_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-numpy")
find_program(VELTRANE2_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELTRANE2_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the libraries the programs and the module link
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libcairo2")
endif()
include(CPack)
