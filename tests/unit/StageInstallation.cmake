# Lays out a staged installation for the loader tests, as a user's machine would have it:
#   cmake -DSTAGE=<dir> -DPROGRAM=<file> [-DLIBRARY=<file>] [-DLIBRARY_NAME=<name>]
#         [-DNOT_A_LIBRARY=ON] [-DFOLDER=bin] [-DWRITABLE_BY_OTHERS=ON] -P StageInstallation.cmake
# The program goes to <dir>/<FOLDER>/; the library, when given, to <dir>/bin/<LIBRARY_NAME>.
if(NOT FOLDER)
  set(FOLDER bin)
endif()
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/${FOLDER} ${STAGE}/bin)
file(COPY ${PROGRAM} DESTINATION ${STAGE}/${FOLDER})
if(LIBRARY)
  file(COPY_FILE ${LIBRARY} ${STAGE}/bin/${LIBRARY_NAME})
endif()
if(WRITABLE_BY_OTHERS)
  file(CHMOD ${STAGE}/bin/${LIBRARY_NAME} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_WRITE WORLD_EXECUTE)
endif()
if(NOT_A_LIBRARY)
  file(WRITE ${STAGE}/bin/${LIBRARY_NAME} "this file only carries the library's name\n")
endif()
