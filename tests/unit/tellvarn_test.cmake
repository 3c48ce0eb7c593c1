# The native's allocator and clock are interposed (gc_interpose.h).
target_link_options(tellvarn_test PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free -Wl,--wrap=time -Wl,--wrap=nanosleep)

# The same source built at -O2 under another name, whatever this build's type:
# an optimiser drops a malloc and free pair whose block is unused, and the
# test shows that every pass still calls the allocator.
add_library(tellvarn_test_O2 OBJECT ${PROJECT_SOURCE_DIR}/src/gc/gctests/tellvarn/tellvarn.cpp)
target_link_libraries(tellvarn_test_O2 PRIVATE zol_product_flags)
target_compile_options(tellvarn_test_O2 PRIVATE -O2)
target_compile_definitions(tellvarn_test_O2 PRIVATE
  Java_gc_gctests_tellvarn_tellvarn_getMallocLock02=tellvarn_getMallocLock02_at_O2)
target_sources(tellvarn_test PRIVATE $<TARGET_OBJECTS:tellvarn_test_O2>)
