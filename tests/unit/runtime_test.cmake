# The test hooks FatalError, whose hook type the fake's own exception model
# (built with RTTI) also makes; built without RTTI here, the shared control
# block's vtable would lack the type information that the sanitizer's vptr
# check in the fake looks for.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/runtime_test.cpp PROPERTIES COMPILE_OPTIONS -frtti)

# GCC's undefined-behaviour sanitizer leaves out float-to-integer overflow,
# which the critical entries of Yarbellin must avoid for NaN, infinities and
# out-of-range values: check it too in the sanitizer build.
if(ZOL_SANITIZE MATCHES "undefined")
  target_compile_options(zol_Yarbellin_objects PRIVATE -fsanitize=float-cast-overflow)
endif()
