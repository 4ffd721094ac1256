target_link_libraries(zovrec PRIVATE zov_export Threads::Threads)
