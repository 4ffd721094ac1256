# Stream codec benchmark: our encoder and decoder beside FFmpeg's zmbv encoder and a plain
# "changed blocks, raw, one zlib stream" baseline, on the shared screen corpus.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(ZOV_AV IMPORTED_TARGET libavcodec libavutil)
endif()
if(ZOV_AV_FOUND)
  add_executable(codec_bench ${CMAKE_CURRENT_SOURCE_DIR}/codec_bench.cpp)
  target_link_libraries(codec_bench PRIVATE zov_codec benchmark::benchmark PkgConfig::ZOV_AV ZLIB::ZLIB)
  target_compile_definitions(codec_bench PRIVATE ZOV_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared")
else()
  message(STATUS "codec_bench needs libavcodec-dev and libavutil-dev (zmbv); not built")
endif()
