# The JPEG 2000 codec benchmark drives the sample codec layer and, as the
# peer, OpenJPEG's library.
if(TARGET zebimg_codec)
  find_library(ZEB_BENCH_OPENJP2 NAMES openjp2)
  find_path(ZEB_BENCH_OPENJP2_INCLUDE NAMES openjpeg.h PATH_SUFFIXES openjpeg-2.5 openjpeg-2.4)
  target_link_libraries(${name} PRIVATE zebimg_codec)
  if(ZEB_BENCH_OPENJP2 AND ZEB_BENCH_OPENJP2_INCLUDE AND NOT CMAKE_CROSSCOMPILING)
    target_link_libraries(${name} PRIVATE ${ZEB_BENCH_OPENJP2})
    # OpenJPEG's memory streams are shared with the tool's tests.
    target_include_directories(${name} PRIVATE ${ZEB_BENCH_OPENJP2_INCLUDE} ${CMAKE_SOURCE_DIR}/tests/apps)
    target_compile_definitions(${name} PRIVATE ZEB_HAVE_OPENJP2=1)
  endif()
else()
  set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
