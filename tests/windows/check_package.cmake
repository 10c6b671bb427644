# The package as a panel builder gets it, and the install into a simulator folder that
# docs/install-windows.md offers besides the zip:
#   - the zip's name is INS-win32-VERSION.zip for a 32-bit INS.gau, INS-win64-VERSION.zip for a
#     64-bit one, VERSION being the project's own (the top CMakeLists.txt) and the width the one
#     of the module inside, as objdump reads its file format;
#   - the zip holds the module, the two sounds in their sound\tavren\ folder, the panel example
#     and the install guide, and no GaugeSound.dll; INS\README.txt names the package and says
#     which simulators it is for, sending the other width's to the other package; the install
#     guide in it names the package;
#   - `cmake --install --component gauge --strip` into a simulator folder adds exactly the zip's
#     files, byte for byte the same (the module stripped, as in the zip: all but the time stamp
#     and checksum strip writes), and changes nothing that was there;
#   - the sound library's own component never replaces a GaugeSound.dll already there.
# Called with -DZIP -DBUILD -DOUT -DSOURCE -DOBJDUMP.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/unzipped)

file(STRINGS ${SOURCE}/CMakeLists.txt project_line REGEX "^project\\(")
if(NOT project_line MATCHES "VERSION ([0-9]+\\.[0-9]+\\.[0-9]+)")
  message(FATAL_ERROR "no version in the project line: ${project_line}")
endif()
set(version ${CMAKE_MATCH_1})

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

# The name: the module's width and the project's version.
execute_process(COMMAND ${OBJDUMP} -f ${OUT}/unzipped/gauges/INS.gau OUTPUT_VARIABLE header
  RESULT_VARIABLE dump_failed)
if(dump_failed OR NOT header MATCHES "file format pei-(i386|x86-64)")
  message(FATAL_ERROR "objdump cannot read the zip's INS.gau:\n${header}")
endif()
if(CMAKE_MATCH_1 STREQUAL "i386")
  set(bits 32)
  set(other 64)
else()
  set(bits 64)
  set(other 32)
endif()
set(package INS-win${bits}-${version})
get_filename_component(zip_name ${ZIP} NAME)
if(NOT zip_name STREQUAL "${package}.zip")
  message(FATAL_ERROR "the package holding a ${bits}-bit INS.gau of version ${version} is named "
                      "${zip_name}, expected ${package}.zip")
endif()

file(READ ${OUT}/unzipped/INS/README.txt readme)
if(bits EQUAL 32)
  set(for_this "32-bit simulator versions that load gauge modules of gauge header version 800")
else()
  set(for_this "It is for the 64-bit successors")
endif()
foreach(said "${package}: the INS gauges" "${for_this}" "take INS-win${other}-${version}.zip there")
  string(FIND "${readme}" "${said}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "INS/README.txt of ${package} does not say \"${said}\":\n${readme}")
  endif()
endforeach()

# The install guide in the package names the package by its own name.
file(READ ${OUT}/unzipped/INS/install-windows.md guide)
string(FIND "${guide}" "${package}.zip" found)
if(found EQUAL -1)
  message(FATAL_ERROR "INS/install-windows.md does not name ${package}.zip")
endif()

# A simulator folder with files of its own, some in the folders the package adds to.
function(make_simulator folder)
  file(WRITE ${folder}/sim.exe "the simulator")
  file(WRITE ${folder}/GaugeSound.dll "the simulator's own")
  file(WRITE ${folder}/gauges/other.gau "another gauge")
  file(WRITE ${folder}/sound/engine.wav "another sound")
  file(WRITE ${folder}/aircraft/panel/panel.cfg "[Window Titles]\nWindow00=Main Panel\n")
endfunction()
function(files_in folder result)
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${folder} ${folder}/*)
  list(SORT found)
  set(${result} "${found}" PARENT_SCOPE)
endfunction()

set(simulator ${OUT}/simulator)
make_simulator(${simulator})
files_in(${simulator} before)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --component gauge --strip
                        --prefix ${simulator}
  RESULT_VARIABLE install_failed OUTPUT_QUIET)
if(install_failed)
  message(FATAL_ERROR "cmake --install --component gauge --strip into ${simulator} failed")
endif()
files_in(${simulator} after)
set(added ${after})
list(REMOVE_ITEM added ${before})
files_in(${OUT}/unzipped zipped)
if(NOT added STREQUAL zipped)
  message(FATAL_ERROR "the install added [${added}] to the simulator folder, the zip holds "
                      "[${zipped}]")
endif()
# A file's bytes as hex; a module's without the two header fields strip writes anew each time
# (the time stamp, and the checksum over it).
function(contents path result)
  file(READ ${path} hex HEX)
  if(path MATCHES "\\.gau$")
    string(SUBSTRING "${hex}" 120 8 pe_offset)  # e_lfanew at 0x3C, little-endian
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" pe_offset ${pe_offset})
    math(EXPR pe_offset "0x${pe_offset}")
    foreach(field_offset 8 88)  # COFF TimeDateStamp; the optional header's CheckSum
      math(EXPR at "(${pe_offset} + ${field_offset}) * 2")
      math(EXPR after "${at} + 8")
      string(SUBSTRING "${hex}" 0 ${at} before_field)
      string(SUBSTRING "${hex}" ${after} -1 after_field)
      set(hex "${before_field}........${after_field}")
    endforeach()
  endif()
  set(${result} "${hex}" PARENT_SCOPE)
endfunction()
foreach(entry ${entries})
  contents(${simulator}/${entry} installed)
  contents(${OUT}/unzipped/${entry} zipped_file)
  if(NOT installed STREQUAL zipped_file)
    message(FATAL_ERROR "the install's ${entry} differs from the zip's")
  endif()
endforeach()
file(READ ${simulator}/GaugeSound.dll kept)
file(READ ${simulator}/gauges/other.gau other_gauge)
if(NOT kept STREQUAL "the simulator's own" OR NOT other_gauge STREQUAL "another gauge")
  message(FATAL_ERROR "the install changed a file the simulator folder had")
endif()

# Our GaugeSound.dll, by its own component: only where the folder has none.
file(MAKE_DIRECTORY ${OUT}/without-library)
foreach(folder ${simulator} ${OUT}/without-library)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --component sound_library
                          --prefix ${folder}
    RESULT_VARIABLE install_failed OUTPUT_QUIET)
  if(install_failed)
    message(FATAL_ERROR "cmake --install --component sound_library into ${folder} failed")
  endif()
endforeach()
file(READ ${simulator}/GaugeSound.dll kept)
if(NOT kept STREQUAL "the simulator's own")
  message(FATAL_ERROR "the sound library's install replaced the simulator's GaugeSound.dll")
endif()
file(SIZE ${OUT}/without-library/GaugeSound.dll ours)
if(ours LESS 1000)
  message(FATAL_ERROR "the sound library's install put no GaugeSound.dll where there was none")
endif()
message("${zip_name}: ${entries}; installed alone into a simulator folder it adds exactly these, "
        "changing nothing there; an existing GaugeSound.dll kept, a missing one installed")
