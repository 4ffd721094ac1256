target_link_libraries(zovrec PRIVATE Threads::Threads)
