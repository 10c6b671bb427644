# The package as a panel builder gets it: the zip holds the module, the two sounds in their
# sound\tavren\ folder, the panel example and the install guide, and no GaugeSound.dll; and
# `cmake --install` into a simulator folder that has a GaugeSound.dll leaves that file alone,
# while one without gets ours. INS\README.txt says which simulators the package is for: a
# 32-bit package names the 32-bit simulators and sends 64-bit ones to the other package, and
# the other way round. Called with -DZIP -DBUILD -DOUT -DPACKAGE (INS-win32 or INS-win64).
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/unzipped ${OUT}/with-library ${OUT}/without-library)

execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${OUT}/unzipped
  RESULT_VARIABLE unzip_failed)
if(unzip_failed)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
file(GLOB_RECURSE entries RELATIVE ${OUT}/unzipped ${OUT}/unzipped/*)
list(SORT entries)
set(expected INS/README.txt INS/install-windows.md INS/panel.cfg.example gauges/INS.gau
             sound/tavren/ins_click.wav sound/tavren/ins_tog.wav)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "the zip holds [${entries}], expected [${expected}]")
endif()
foreach(entry ${entries})
  file(SIZE ${OUT}/unzipped/${entry} size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${entry} is empty in the zip")
  endif()
endforeach()

file(READ ${OUT}/unzipped/INS/README.txt readme)
if(PACKAGE STREQUAL "INS-win32")
  set(for_this "32-bit simulator versions that load gauge modules of gauge header version 800")
  set(for_other "take INS-win64.zip there")
else()
  set(for_this "It is for the 64-bit successors")
  set(for_other "take INS-win32.zip there")
endif()
string(FIND "${readme}" "${for_this}" found_this)
string(FIND "${readme}" "${for_other}" found_other)
if(found_this EQUAL -1 OR found_other EQUAL -1)
  message(FATAL_ERROR "INS/README.txt of ${PACKAGE} does not say which simulators it is for:\n${readme}")
endif()

file(WRITE ${OUT}/with-library/GaugeSound.dll "the simulator's own")
foreach(folder with-library without-library)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${OUT}/${folder}
    RESULT_VARIABLE install_failed OUTPUT_QUIET)
  if(install_failed)
    message(FATAL_ERROR "cmake --install into ${OUT}/${folder} failed")
  endif()
  foreach(file gauges/INS.gau sound/tavren/ins_tog.wav sound/tavren/ins_click.wav)
    if(NOT EXISTS ${OUT}/${folder}/${file})
      message(FATAL_ERROR "cmake --install put no ${file} into ${OUT}/${folder}")
    endif()
  endforeach()
endforeach()
file(READ ${OUT}/with-library/GaugeSound.dll kept)
if(NOT kept STREQUAL "the simulator's own")
  message(FATAL_ERROR "cmake --install replaced the simulator's GaugeSound.dll")
endif()
file(SIZE ${OUT}/without-library/GaugeSound.dll ours)
if(ours LESS 1000)
  message(FATAL_ERROR "cmake --install put no GaugeSound.dll where there was none")
endif()
message("package: ${entries}; an existing GaugeSound.dll kept, a missing one installed")
