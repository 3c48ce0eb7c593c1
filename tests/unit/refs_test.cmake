# The registry's table allocation is interposed, to fail it on demand.
target_link_options(refs_test PRIVATE -Wl,--wrap=malloc)
