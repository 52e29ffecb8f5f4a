# One Debian package per install component, included by CMakeLists.txt
# before CPack: the program's package `velkor` (the install rules without a
# component) and, when the Python module is built, `python3-velkor`.
#
# The module's package holds it where Debian's python3 looks for the
# packaged modules of every Python 3 version, /usr/lib/python3/dist-packages;
# its install rule there (component python_deb, python/CMakeLists.txt) is
# made only by cpack, while `cmake --install` keeps the interpreter's
# lib/python3.X/dist-packages under its prefix (component python).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified)

set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME velkor)
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "${VELKOR_PACKAGE_DESCRIPTION}")

if(TARGET _velkor)
  list(APPEND CPACK_COMPONENTS_ALL python_deb)
  set(CPACK_DEBIAN_PYTHON_DEB_PACKAGE_NAME python3-velkor)
  set(CPACK_DEBIAN_PYTHON_DEB_PACKAGE_SOURCE velkor)
  # The area of the program's package (the same terms), section python.
  set(CPACK_DEBIAN_PYTHON_DEB_PACKAGE_SECTION non-free/python)
  # The compiled part is built for one interpreter version (its file name
  # says which); the C and C++ libraries it needs are found by shlibdeps.
  # NumPy and SymPy are imported only by the calls that use them.
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" python_version "${VELKOR_PYTHON_VERSION}")
  math(EXPR next_minor "${CMAKE_MATCH_2} + 1")
  set(CPACK_DEBIAN_PYTHON_DEB_PACKAGE_DEPENDS
    "python3 (>= ${VELKOR_PYTHON_VERSION}~), python3 (<< ${CMAKE_MATCH_1}.${next_minor})")
  set(CPACK_DEBIAN_PYTHON_DEB_PACKAGE_RECOMMENDS python3-numpy)
  set(CPACK_DEBIAN_PYTHON_DEB_PACKAGE_SUGGESTS "python3-sympy, python3-matplotlib")
  # Byte-compiled on installation and those files removed before removal,
  # as for every Debian Python package.
  set(CPACK_DEBIAN_PYTHON_DEB_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_LIST_DIR}/python3-velkor/postinst;${CMAKE_CURRENT_LIST_DIR}/python3-velkor/prerm")
  set(CPACK_DEBIAN_PYTHON_DEB_DESCRIPTION "Python 3 module for symbolic analysis of linear networks
The velkor module runs velkor's analysis inside the Python interpreter,
without starting the program: import velkor, then velkor.analyse(netlist)
gives each two-port parameter as a rational function of s, with its terms,
a SymPy expression, LaTeX for notebooks, and, given element values, its
numbers, poles, zeros, frequency response (NumPy) and approximation.
.
Free of charge for non-commercial use only; the terms are in
/usr/share/doc/python3-velkor/copyright.")
endif()
