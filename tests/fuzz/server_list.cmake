vexa_add_fuzzer(fuzz_server_list ${CMAKE_CURRENT_LIST_DIR}/ServerListFuzz.cpp vexa_shell)
