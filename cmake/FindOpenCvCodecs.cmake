# OpenCV's codec libraries (Debian's -dev packages of core, imgproc and imgcodecs ship
# no CMake package file of their own): an imported target gq::opencv.
find_path(GQ_OPENCV_INCLUDE opencv2/imgcodecs.hpp PATH_SUFFIXES opencv4 REQUIRED)
foreach(module core imgproc imgcodecs)
  find_library(GQ_OPENCV_${module} opencv_${module} REQUIRED)
endforeach()
add_library(gq_opencv INTERFACE)
target_include_directories(gq_opencv SYSTEM INTERFACE ${GQ_OPENCV_INCLUDE})
target_link_libraries(gq_opencv INTERFACE
  ${GQ_OPENCV_imgcodecs} ${GQ_OPENCV_imgproc} ${GQ_OPENCV_core})
add_library(gq::opencv ALIAS gq_opencv)
