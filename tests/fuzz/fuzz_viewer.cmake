zov_add_fuzzer(viewer LIBS zov_viewer_logic)
