# Builds the .deb, unpacks it into a folder and checks its files, its dependencies and
# that the program it carries answers --help. Arguments: BUILD_DIR, WORK_DIR, CPACK.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/root)
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB packages ${WORK_DIR}/*.deb)
if(NOT result EQUAL 0 OR NOT packages)
  message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()
execute_process(COMMAND dpkg-deb -x ${packages} ${WORK_DIR}/root RESULT_VARIABLE result)
execute_process(COMMAND dpkg-deb -f ${packages} Depends OUTPUT_VARIABLE depends)
foreach(needed libopencv-imgcodecs libqt6widgets6)
  if(NOT depends MATCHES "${needed}")
    message(FATAL_ERROR "Depends lacks ${needed}: ${depends}")
  endif()
endforeach()
foreach(file bin/GlimmerQuorum bin/gqtool share/applications/GlimmerQuorum.desktop
    share/icons/hicolor/scalable/apps/glimmerquorum.svg share/mime/packages/glimmerquorum.xml)
  if(NOT EXISTS ${WORK_DIR}/root/usr/${file})
    message(FATAL_ERROR "The package lacks /usr/${file}")
  endif()
endforeach()
execute_process(COMMAND ${WORK_DIR}/root/usr/bin/GlimmerQuorum --help
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT output MATCHES "Output this help text")
  message(FATAL_ERROR "GlimmerQuorum --help (${result}) said:\n${output}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
