# zlib for the WebAssembly build, compiled from Debian's source package (fetched once into
# third_party/downloads by scripts/fetch-zlib-source.sh), standing in for the system's
# ZLIB::ZLIB that the native build finds.
set(ZOV_ZLIB_SOURCE "" CACHE PATH "Folder of the zlib source (empty: fetch Debian's)")
if(NOT ZOV_ZLIB_SOURCE)
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fetch-zlib-source.sh
    OUTPUT_VARIABLE zov_zlib_dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE zov_zlib_rc)
  if(NOT zov_zlib_rc EQUAL 0)
    message(FATAL_ERROR "The zlib source could not be fetched (scripts/fetch-zlib-source.sh)")
  endif()
  set(ZOV_ZLIB_SOURCE "${zov_zlib_dir}" CACHE PATH "Folder of the zlib source (empty: fetch Debian's)" FORCE)
endif()
if(NOT EXISTS "${ZOV_ZLIB_SOURCE}/inflate.c")
  message(FATAL_ERROR "No zlib source in ${ZOV_ZLIB_SOURCE}")
endif()
set(zov_zlib_files adler32 crc32 deflate inffast inflate inftrees trees zutil)
list(TRANSFORM zov_zlib_files PREPEND "${ZOV_ZLIB_SOURCE}/")
list(TRANSFORM zov_zlib_files APPEND ".c")
add_library(zov_zlib STATIC ${zov_zlib_files})
target_include_directories(zov_zlib SYSTEM PUBLIC "${ZOV_ZLIB_SOURCE}")
target_compile_options(zov_zlib PRIVATE -w)
add_library(ZLIB::ZLIB ALIAS zov_zlib)
