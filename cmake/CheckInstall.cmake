# Installs the build into a scratch prefix, checks the layout, and runs the
# installed program on the installed sample with the overlay. Usage:
#   cmake -DBUILD=<build dir> -DOUT=<scratch dir> -P CheckInstall.cmake
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${OUT}/usr
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(rc)
  message(FATAL_ERROR "cmake --install failed: ${err}")
endif()

set(prefix ${OUT}/usr)
foreach(f bin/vivurozed share/vivurozed/map/Countries.dat share/vivurozed/samples/noaa15-excerpt-2min.wav
          share/vivurozed/samples/weather-2019-08-25.txt share/applications/vivurozed.desktop
          share/icons/hicolor/scalable/apps/vivurozed.svg share/man/man1/vivurozed.1)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(READ ${prefix}/share/man/man1/vivurozed.1 man)
if(man MATCHES "@[A-Z_]+@")
  message(FATAL_ERROR "the man page has an unfilled placeholder")
endif()

# A user of its own, so the run neither reads nor writes the caller's files.
set(ENV{HOME} ${OUT}/home)
set(ENV{XDG_DATA_HOME} ${OUT}/home/data)
set(ENV{XDG_CONFIG_HOME} ${OUT}/home/config)
set(ENV{QT_QPA_PLATFORM} offscreen)
set(samples ${prefix}/share/vivurozed/samples)
execute_process(COMMAND ${prefix}/bin/vivurozed ${samples}/noaa15-excerpt-2min.wav ${OUT}/out/ -hide
                        --elements ${samples}/weather-2019-08-25.txt --start "2019-08-25 18:28:15"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE log)
if(rc OR NOT EXISTS ${OUT}/out/noaa15-excerpt-2min-ovl.jpg)
  message(FATAL_ERROR "the installed program did not decode its sample (exit ${rc}):\n${log}")
endif()
if(log MATCHES "No coastline file")
  message(FATAL_ERROR "the installed program did not find its coastlines:\n${log}")
endif()
