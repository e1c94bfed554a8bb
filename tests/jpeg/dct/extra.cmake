# libjpeg (Debian's libjpeg-turbo) as an independent peer for the quality
# scaling of quantisation tables; only the native build has it.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(JPEG QUIET)
  if(JPEG_FOUND)
    target_link_libraries(${name} PRIVATE JPEG::JPEG)
    target_compile_definitions(${name} PRIVATE ZEBTEST_HAVE_LIBJPEG=1)
  endif()
endif()
