# The natives' allocator, clock and sleep are interposed (gc_interpose.h).
target_link_options(gc_lock_test PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free -Wl,--wrap=time -Wl,--wrap=nanosleep)
