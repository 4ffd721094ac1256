zov_add_fuzzer(project LIBS zov_core zov_elements)
