# The identity of a build, taken at every build (not when the build is
# configured): the project version, the git commit of the source tree with
# "-dirty" for uncommitted changes ("unknown" outside git), and the SHA-256
# of the program sources, so that two builds of different sources never
# carry the same identity. The generated file is rewritten only when its
# text changes, so a build with nothing changed compiles and links nothing.
#
#   cmake -DSOURCE_DIR=... -DTEMPLATE=.../build_info.cpp.in -DOUTPUT=.../build_info.cpp
#         -DPROJECT_VERSION=1.0.0 [-DGIT_EXECUTABLE=git] -P tools/build_identity.cmake
foreach(var SOURCE_DIR TEMPLATE OUTPUT PROJECT_VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build_identity.cmake: ${var} is not given")
  endif()
endforeach()

set(UPSCALE_COMMIT unknown)
if(NOT GIT_EXECUTABLE)
  find_program(GIT_EXECUTABLE git)
endif()
if(GIT_EXECUTABLE AND EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} describe --always --dirty --abbrev=12 --exclude=*
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND commit)
    set(UPSCALE_COMMIT ${commit})
  endif()
endif()

# Every file the programs are built from, by path relative to the tree, in
# a fixed order: a renamed, added or changed file changes the digest.
set(folders core model waves fem yale drivers sweep engine tensor sparse_io)
set(patterns)
foreach(folder ${folders})
  list(APPEND patterns ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.hpp ${SOURCE_DIR}/${folder}/*.h
       ${SOURCE_DIR}/${folder}/*.in ${SOURCE_DIR}/${folder}/CMakeLists.txt)
endforeach()
file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE ${SOURCE_DIR} ${patterns})
list(APPEND sources CMakeLists.txt)
list(SORT sources)
set(manifest "")
foreach(f ${sources})
  if(EXISTS ${SOURCE_DIR}/${f})
    file(SHA256 ${SOURCE_DIR}/${f} digest)
    string(APPEND manifest "${digest}  ${f}\n")
  endif()
endforeach()
string(SHA256 UPSCALE_SOURCES "${manifest}")

configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
