# Debian's OpenCV core/imgproc packages ship headers and libraries but no CMake
# package, so find the two libraries we use by hand and wrap them in one target.
find_path(OpenCVCore_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
find_library(OpenCVCore_CORE_LIBRARY opencv_core)
find_library(OpenCVCore_IMGPROC_LIBRARY opencv_imgproc)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVCore
    REQUIRED_VARS OpenCVCore_INCLUDE_DIR OpenCVCore_CORE_LIBRARY OpenCVCore_IMGPROC_LIBRARY)

if(OpenCVCore_FOUND AND NOT TARGET OpenCV::core_imgproc)
    add_library(OpenCV::core_imgproc INTERFACE IMPORTED)
    set_target_properties(OpenCV::core_imgproc PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${OpenCVCore_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES "${OpenCVCore_IMGPROC_LIBRARY};${OpenCVCore_CORE_LIBRARY}")
endif()
