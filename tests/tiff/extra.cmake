# libtiff is the independent peer of the PackBits interoperability tests; it is
# available for the native build only (no 32-bit package is installed).
find_library(ZEB_TIFF_LIBRARY tiff)
find_path(ZEB_TIFF_INCLUDE tiffio.h)
if(ZEB_TIFF_LIBRARY AND ZEB_TIFF_INCLUDE AND NOT CMAKE_CROSSCOMPILING)
  target_include_directories(${name} PRIVATE ${ZEB_TIFF_INCLUDE})
  target_link_libraries(${name} PRIVATE ${ZEB_TIFF_LIBRARY})
  target_compile_definitions(${name} PRIVATE ZEB_HAVE_LIBTIFF=1)
else()
  message(STATUS "libtiff not found for this target: PackBits interoperability tests are not built")
endif()
