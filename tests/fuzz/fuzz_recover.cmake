zov_add_fuzzer(recover LIBS zov_core zov_elements)
