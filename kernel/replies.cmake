# The reply and notification handlers: datagram bodies from the server in, kernel events out.
# Included from kernel/CMakeLists.txt; paths are relative to kernel/.
add_library(ovkernel_replies STATIC reply_handlers.cpp)
target_link_libraries(ovkernel_replies PUBLIC ovcommon)

ov_test(NAME kernel_reply_tests SOURCES tests/reply_handlers_test.cpp LIBS ovkernel_replies)
ov_fuzz_target(NAME fuzz_replies SOURCES tests/fuzz_replies.cpp LIBS ovkernel_replies
               CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/corpus/replies)
