zov_add_fuzzer(stream LIBS zov_codec)
