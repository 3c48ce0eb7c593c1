# Run by CPack once it has installed the release into its staging directory:
# packs that directory as <package file name>.tar.gz so that the same files
# always give the same bytes. Members are sorted by name, owned by 0:0, carry
# one time (SOURCE_DATE_EPOCH, else the time of the checkout's commit) and
# plain permissions; the gzip header has no name and no time.

set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  # The checkout may belong to another user (a CI container): this one git
  # call trusts it, without touching any git configuration.
  execute_process(COMMAND git -c safe.directory=${CPACK_ZOL_SOURCE_DIR} -C ${CPACK_ZOL_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE git_error
                  RESULT_VARIABLE git_result)
  if(NOT git_result EQUAL 0)
    message(FATAL_ERROR "The archive's time comes from the last commit, and git failed (${git_result}): "
                        "${git_error}Set SOURCE_DATE_EPOCH (seconds since 1970), or pack a git checkout")
  endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "The archive's time: SOURCE_DATE_EPOCH (seconds since 1970) is '${epoch}'")
endif()

cmake_path(GET CPACK_TEMPORARY_DIRECTORY PARENT_PATH staging)
if(CPACK_ZOL_ARCHIVE_FORMAT STREQUAL "zip")
  # The Windows archive: the same members in the same order, each with the
  # time and plain permissions set first (zip takes both from the files),
  # the time read as UTC and no extra fields (owners, further times).
  set(archive ${staging}/${CPACK_PACKAGE_FILE_NAME}.zip)
  file(GLOB_RECURSE members LIST_DIRECTORIES false RELATIVE ${staging} ${staging}/${CPACK_PACKAGE_FILE_NAME}/*)
  list(SORT members)
  execute_process(COMMAND chmod -R u=rwX,go=rX ${CPACK_PACKAGE_FILE_NAME}
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${staging})
  execute_process(COMMAND find ${CPACK_PACKAGE_FILE_NAME} -exec touch -h -d @${epoch} {} +
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${staging})
  file(REMOVE ${archive})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -X -D -q -9 ${archive} ${members}
                  COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY ${staging})
  set(CPACK_EXTERNAL_BUILT_PACKAGES ${archive})
  return()
endif()
set(archive ${staging}/${CPACK_PACKAGE_FILE_NAME}.tar.gz)
execute_process(
  COMMAND tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner
          --mtime=@${epoch} --mode=u=rwX,go=rX --directory=${staging} ${CPACK_PACKAGE_FILE_NAME}
  COMMAND gzip -9n
  OUTPUT_FILE ${archive}
  COMMAND_ERROR_IS_FATAL ANY)
set(CPACK_EXTERNAL_BUILT_PACKAGES ${archive})
