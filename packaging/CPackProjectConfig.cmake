# Read by cpack once for each generator it runs.
if(CPACK_GENERATOR STREQUAL "DEB")
  # The Debian layout (see Packaging.cmake) instead of the installation directory's.
  set(CPACK_COMPONENTS_ALL deb-tool deb-simulator)
  # Each package's description begins with its own summary line; CPack would put
  # the project's in front of both.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
if(CPACK_GENERATOR STREQUAL "ZIP")
  # The Windows zips' layout (see Packaging.cmake): one folder around each.
  set(CPACK_COMPONENTS_ALL zip-tool zip-simulator)
endif()
