# Element drawing: 50 mixed elements on a 1024 x 768 frame beside a QImage copy of it.
add_executable(element_bench element_bench.cpp)
target_link_libraries(element_bench PRIVATE zov_render zov_elements Qt6::Gui)
