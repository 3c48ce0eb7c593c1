# The natives' allocations are counted and failed on demand (--wrap). The test
# replaces hooks of the fake's own exception model, whose std::function types
# the fake makes with RTTI: built with RTTI too, so the sanitizer's vptr check
# finds the type information it looks for.
target_link_options(stress_jni_test PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/stress_jni_test.cpp PROPERTIES COMPILE_OPTIONS -frtti)
