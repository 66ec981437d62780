# Read by cpack for each generator. Without dpkg-shlibdeps the Debian generator
# only warns and makes a package that depends on nothing; refuse instead.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(NARC_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT NARC_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps is missing (install dpkg-dev): the package's dependencies cannot be computed")
  endif()
endif()
