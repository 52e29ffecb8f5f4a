# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged install, before the
# Debian packages are made of it: adds what Debian's policy asks of each
# package beyond the plain install, namely the copyright file in the
# machine-readable format (made from LICENSE) and the changelog; and
# compresses the manual page and the changelog with gzip -9n. Each package
# (packaging/debian/components.cmake) is staged in a folder of its
# component's name.
set(source "${CPACK_VELKOR_SOURCE_DIR}")

function(gzip_in_place file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
  file(CHMOD "${file}.gz" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

# copyright: the holders and the terms of LICENSE. Its first line is a title,
# then the "Copyright (c) YEARS HOLDERS." line, then the terms in paragraphs.
file(READ "${source}/LICENSE" license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]*[^.\n])\\.?\n\n(.*)$")
  message(FATAL_ERROR "LICENSE has no 'Copyright (c) ...' line")
endif()
set(holders "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" terms)
# Continuation lines of a field are indented by one space; an empty line is " .".
string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
set(copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: velkor
Comment: Free of charge for non-commercial use only.

Files: *
Copyright: ${holders}
License: velkor-noncommercial

License: velkor-noncommercial
 ${terms}
")

# changelog: a native package (its version has no Debian revision), so it is
# changelog.gz, not changelog.Debian.gz.
set(VERSION "${CPACK_PACKAGE_VERSION}")
set(MAINTAINER "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}")
  if(NOT IS_DIRECTORY "${stage}/usr")
    message(FATAL_ERROR "no staged /usr in ${stage}")
  endif()
  string(TOUPPER "${component}" upper)
  set(doc "${stage}/usr/share/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  file(WRITE "${doc}/copyright" "${copyright}")
  file(CHMOD "${doc}/copyright" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  configure_file("${source}/packaging/debian/changelog.in" "${doc}/changelog" @ONLY)
  gzip_in_place("${doc}/changelog")
  if(EXISTS "${stage}/usr/share/man/man1/velkor.1")
    gzip_in_place("${stage}/usr/share/man/man1/velkor.1")
  endif()
endforeach()
