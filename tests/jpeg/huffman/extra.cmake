# libjpeg (Debian's libjpeg-turbo) serves as an independent peer for the
# interoperability test; it exists only for the native build.
if(NOT CMAKE_CROSSCOMPILING)
  find_library(ZEB_LIBJPEG NAMES jpeg)
  find_path(ZEB_LIBJPEG_INCLUDE NAMES jpeglib.h)
  if(ZEB_LIBJPEG AND ZEB_LIBJPEG_INCLUDE)
    target_link_libraries(${name} PRIVATE ${ZEB_LIBJPEG})
    target_include_directories(${name} PRIVATE ${ZEB_LIBJPEG_INCLUDE})
    target_compile_definitions(${name} PRIVATE ZEB_HAVE_LIBJPEG=1)
  endif()
endif()
