# The distributed MUMPS backend of the sparse engine (library engine_mumps),
# built where MPI and Debian's MUMPS (libmumps-dev) are found; elsewhere it
# is left out and the tests that need it are not added. The three single-
# machine programs never link it.
enable_language(C)  # the C component of MPI needs a C compiler
find_package(MPI COMPONENTS C CXX QUIET)
find_path(MUMPS_INCLUDE_DIR zmumps_c.h)
find_library(MUMPS_ZMUMPS_LIBRARY zmumps)
find_library(MUMPS_COMMON_LIBRARY mumps_common)
find_library(MUMPS_PORD_LIBRARY pord)
set(UPSCALE_MUMPS_FOUND OFF)
if(MPI_FOUND AND MUMPS_INCLUDE_DIR AND MUMPS_ZMUMPS_LIBRARY AND MUMPS_COMMON_LIBRARY AND MUMPS_PORD_LIBRARY)
  set(UPSCALE_MUMPS_FOUND ON)
  add_library(engine_mumps STATIC
    engine/mumps_solver.cpp
    engine/mumps_support.cpp
    engine/mumps_errors.cpp
    engine/mumps_plan.cpp
    engine/mpi_job.cpp
    engine/mpi_share.cpp
  )
  target_include_directories(engine_mumps SYSTEM PUBLIC ${MUMPS_INCLUDE_DIR})
  # Debian's libzmumps carries its own dependencies (ScaLAPACK, BLAS, the
  # Fortran MPI bindings); mumps_common and pord are named for static builds.
  target_link_libraries(engine_mumps PUBLIC core ${MUMPS_ZMUMPS_LIBRARY} ${MUMPS_COMMON_LIBRARY}
                        ${MUMPS_PORD_LIBRARY} MPI::MPI_CXX MPI::MPI_C)
  target_compile_definitions(engine_mumps INTERFACE UPSCALE_HAVE_MUMPS)
  # make_solver(Backend::mumps) in the engine library calls this backend:
  # linked once the whole tree is read, whichever of the two comes first.
  set(UPSCALE_HAVE_MUMPS ON)
  function(upscale_link_mumps_into_engine)
    if(TARGET engine)
      target_link_libraries(engine PUBLIC engine_mumps)
    endif()
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL upscale_link_mumps_into_engine)
  find_program(UPSCALE_MPIEXEC NAMES mpirun mpiexec HINTS ${MPIEXEC_EXECUTABLE})
  message(STATUS "MUMPS backend: built (${MUMPS_ZMUMPS_LIBRARY}, launcher ${UPSCALE_MPIEXEC})")
else()
  message(STATUS "MUMPS backend: left out (needs MPI and libmumps-dev: zmumps_c.h, libzmumps, libmumps_common, "
                 "libpord); --solver mumps will report that the build lacks it")
endif()
