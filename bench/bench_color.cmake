target_compile_options(${name} PRIVATE ${OpenMP_CXX_FLAGS})
