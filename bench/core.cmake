# Frame store benchmark (bench/frame_store_bench.cpp): project writes, frame loads and save as
# on the screen corpus, each beside memcpy/memcmp of the same bytes; see the file's header.
add_executable(frame_store_bench ${CMAKE_CURRENT_LIST_DIR}/frame_store_bench.cpp)
target_link_libraries(frame_store_bench PRIVATE zov_core zov_elements benchmark::benchmark)
target_compile_definitions(frame_store_bench PRIVATE ZOV_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared")
