zov_add_fuzzer(elements LIBS zov_elements)
