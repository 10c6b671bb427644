# The package as a panel builder gets it: the zip holds the module, the two sounds in their
# sound\tavren\ folder, the panel example and the install guide, and no GaugeSound.dll; and
# `cmake --install` into a simulator folder that has a GaugeSound.dll leaves that file alone,
# while one without gets ours. Called with -DZIP -DBUILD -DOUT.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/unzipped ${OUT}/with-library ${OUT}/without-library)

execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${OUT}/unzipped
  RESULT_VARIABLE unzip_failed)
if(unzip_failed)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
file(GLOB_RECURSE entries RELATIVE ${OUT}/unzipped ${OUT}/unzipped/*)
list(SORT entries)
set(expected INS/install-windows.md INS/panel.cfg.example gauges/INS.gau sound/tavren/ins_click.wav
             sound/tavren/ins_tog.wav)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "the zip holds [${entries}], expected [${expected}]")
endif()
foreach(entry ${entries})
  file(SIZE ${OUT}/unzipped/${entry} size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${entry} is empty in the zip")
  endif()
endforeach()

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
