# The codec benchmark drives the sample codec layer and, as the peer,
# libjpeg-turbo's TurboJPEG API.
if(TARGET zebimg_codec)
  find_library(ZEB_TURBOJPEG NAMES turbojpeg)
  find_path(ZEB_TURBOJPEG_INCLUDE NAMES turbojpeg.h)
  target_link_libraries(${name} PRIVATE zebimg_codec)
  if(ZEB_TURBOJPEG AND ZEB_TURBOJPEG_INCLUDE)
    target_link_libraries(${name} PRIVATE ${ZEB_TURBOJPEG})
    target_include_directories(${name} PRIVATE ${ZEB_TURBOJPEG_INCLUDE})
    target_compile_definitions(${name} PRIVATE ZEB_HAVE_TURBOJPEG=1)
  endif()
else()
  set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
