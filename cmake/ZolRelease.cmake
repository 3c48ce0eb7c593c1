# The release archive of a build: `cmake --install` adds MANIFEST.tsv,
# LIBRARIES.md and BUILDINFO beside lib/, and CPack packs the installed tree as
# zol-natives-<version>-linux-<arch>.tar.gz (arch as `uname -m` names it), or
# zol-natives-<version>-windows-x64.zip.

get_property(deliverables GLOBAL PROPERTY ZOL_DELIVERABLES)
install(CODE "execute_process(COMMAND ${CMAKE_COMMAND} -E env ZOL_CXX=${CMAKE_CXX_COMPILER} ZOL_LINKER=${CMAKE_LINKER}
                ZOL_JNI_HEADERS=${ZOL_JNI_HEADERS} ${CMAKE_CURRENT_LIST_DIR}/release-files.sh ${PROJECT_SOURCE_DIR}
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\" ${PROJECT_VERSION} ${deliverables}
                COMMAND_ERROR_IS_FATAL ANY)")

# CPack's own archive generators (3.25) write the packing time into the gzip
# header and the owners and times of the staged files into the archive, so
# CPack stages the install and ZolArchive.cmake packs it.
set(CPACK_GENERATOR External)
set(CPACK_PACKAGE_NAME zol-natives)
if(WIN32)
  set(CPACK_PACKAGE_FILE_NAME zol-natives-${PROJECT_VERSION}-windows-x64)
  set(CPACK_ZOL_ARCHIVE_FORMAT zip)
else()
  set(CPACK_PACKAGE_FILE_NAME zol-natives-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_ZOL_ARCHIVE_FORMAT tar.gz)
endif()
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/ZolArchive.cmake)
set(CPACK_ZOL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
