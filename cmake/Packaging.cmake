# The Debian packages (cpack -G DEB, tools/package.sh): velnr with the library and its dialogs'
# module, and the GIMP plug-in as a package of its own when the build has it. The version is the
# project's; packaging/debian/changelog must start with an entry for it.
if(WIN32 OR NOT TARGET velnr)
    return()
endif()

set(VELNR_DEBIAN_REVISION 1)
set(_deb_version ${PROJECT_VERSION}-${VELNR_DEBIAN_REVISION})
set(_changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
file(STRINGS ${_changelog} _entry_line LIMIT_COUNT 1)
if(NOT _entry_line MATCHES "^velnr \\(([^)]+)\\) ")
    message(FATAL_ERROR "${_changelog} does not begin with a 'velnr (VERSION) ...' entry")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL _deb_version)
    message(FATAL_ERROR "${_changelog}'s latest entry is ${CMAKE_MATCH_1}; the project is "
                        "${_deb_version}: add an entry for it")
endif()
# The latest entry's signature names the maintainer.
file(STRINGS ${_changelog} _signature REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE "^ -- (.*>)  .*$" "\\1" _maintainer "${_signature}")

set(_doc ${CMAKE_CURRENT_BINARY_DIR}/packaging)
add_custom_command(OUTPUT ${_doc}/changelog.Debian.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_doc}
    COMMAND gzip -9nc ${_changelog} > ${_doc}/changelog.Debian.gz
    DEPENDS ${_changelog}
    COMMENT "Compressing the Debian changelog")
add_custom_target(velnr-package-doc ALL DEPENDS ${_doc}/changelog.Debian.gz)

set(_components velnr)
set(_packages velnr)
if(TARGET velnr-gimp)
    list(APPEND _components gimp)
    list(APPEND _packages gimp-plugin-velnr)
endif()
foreach(component package IN ZIP_LISTS _components _packages)
    set(_share ${CMAKE_INSTALL_DATAROOTDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
                  ${_doc}/changelog.Debian.gz
            DESTINATION ${_share}/doc/${package} COMPONENT ${component})
    set(_overrides ${PROJECT_SOURCE_DIR}/packaging/debian/${package}.lintian-overrides)
    if(EXISTS ${_overrides})
        install(FILES ${_overrides} DESTINATION ${_share}/lintian/overrides
                RENAME ${package} COMPONENT ${component})
    endif()
endforeach()

set(CPACK_PACKAGE_NAME velnr)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELNR_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_VELNR_PACKAGE_NAME velnr)
# The first line is the synopsis; cpack indents the others and marks empty ones.
set(_about "VEL Noise Reduction removes luminance and chrominance noise from developed
photographs while keeping their detail, with wavelet-based, locally adaptive
suppression.")
set(CPACK_DEBIAN_VELNR_DESCRIPTION "photo noise reduction filter for the command line
${_about}

This package holds velnr, which denoises TIFF, PNG and JPEG files from the
command line, keeping their bit depth, colour profile and metadata, and the
plug-in library with its settings dialogs.")

set(CPACK_DEBIAN_GIMP_PACKAGE_NAME gimp-plugin-velnr)
set(CPACK_DEBIAN_GIMP_PACKAGE_SECTION graphics)
# The plug-in runs the library of the velnr package of the same build.
set(CPACK_DEBIAN_GIMP_PACKAGE_DEPENDS "velnr (= ${_deb_version}), gimp (>= 2.10)")
set(CPACK_DEBIAN_GIMP_DESCRIPTION "VEL Noise Reduction filter for GIMP
${_about}

This package adds the filter to GIMP's menu.")

include(CPack)
