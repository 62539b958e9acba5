# Installs the build into a scratch prefix and runs the installed plugin
# with nothing pointing at the build: it must load libquexal through its
# RPATH and find QXdata under the prefix's share/quexal.
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGV}\n${out}\n${err}")
  endif()
  set(run_output "${out}${err}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB_RECURSE plugins ${prefix}/*/libgstquexal.so)
list(LENGTH plugins count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one installed libgstquexal.so, found: ${plugins}")
endif()
get_filename_component(plugin_dir ${plugins} DIRECTORY)

unset(ENV{QUEXAL_DATA})
unset(ENV{LD_LIBRARY_PATH})
set(ENV{GST_PLUGIN_PATH} ${plugin_dir})
set(ENV{GST_REGISTRY} ${WORK_DIR}/registry.bin)
set(ENV{GST_DEBUG} quexal:5)
set(ENV{GST_DEBUG_NO_COLOR} 1)
run(gst-launch-1.0 -q videotestsrc num-buffers=2 ! video/x-raw,format=BGR,width=65,height=48
    ! quexalcolour ! fakesink)
if(NOT run_output MATCHES "data from ${prefix}/share/quexal")
  message(FATAL_ERROR "the installed plugin did not read ${prefix}/share/quexal:\n${run_output}")
endif()
