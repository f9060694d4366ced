# Gwyddion's libraries, found once for every part that builds on them.
#
# Debian: libgwyddion20-dev; its pkg-config module `gwyddion` also needs
# libgtk2.0-dev and libgtkglext1-dev to resolve (nothing opens a display).
# Sets GWYDDION_FOUND and, when found, the imported target PkgConfig::GWYDDION,
# GWYDDION_VERSION and GWYDDION_MODULE_DIR (where Gwyddion keeps its modules).
# Each part that uses it prints its own message when it is skipped.
include_guard(GLOBAL)

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(GWYDDION QUIET IMPORTED_TARGET gwyddion)
endif()
if(GWYDDION_FOUND)
  # gwyddion.pc names an include folder that Debian's packages leave out
  # (/usr/lib/<arch>/gwyddion/include); an imported target may not name a
  # missing folder.
  get_target_property(_gwy_includes PkgConfig::GWYDDION INTERFACE_INCLUDE_DIRECTORIES)
  set(_gwy_existing)
  foreach(_dir IN LISTS _gwy_includes)
    if(EXISTS "${_dir}")
      list(APPEND _gwy_existing "${_dir}")
    endif()
  endforeach()
  set_target_properties(PkgConfig::GWYDDION PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_gwy_existing}")
  pkg_get_variable(GWYDDION_MODULE_DIR gwyddion gwymoduledir)
  message(STATUS "Gwyddion ${GWYDDION_VERSION} found (modules in ${GWYDDION_MODULE_DIR})")
else()
  set(GWYDDION_FOUND FALSE)
  message(STATUS "Gwyddion not found (Debian: libgwyddion20-dev libgtk2.0-dev libgtkglext1-dev)")
endif()
